#include "workspace/program/PreviewArea.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/program/PreviewPlaceholderView.h"

namespace velmora {

namespace {

constexpr int readoutInset = 8;
constexpr int readoutPadding = 6;
constexpr int placeholderWidth = 560;

// The area's faint frame, drawn above the program view.
class AreaBorder final : public QWidget {
public:
    explicit AreaBorder(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 255, 255, 31), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 1, 1);
    }
};

} // namespace

PreviewArea::PreviewArea(EditorWorkspaceController& workspace, QWidget* programView, QWidget* parent)
    : QWidget(parent), workspace_(workspace), programView_(programView), readout_(new QWidget(this)),
      canvasLabel_(new QLabel(readout_)), sourceLabel_(new QLabel(readout_)), border_(new AreaBorder(this)),
      placeholder_(new PreviewPlaceholderView(workspace, this))
{
    setObjectName(QStringLiteral("previewArea"));
    setAttribute(Qt::WA_StyledBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumHeight(120);
    if (programView_)
        programView_->setParent(this);

    readout_->setObjectName(QStringLiteral("canvasReadout"));
    readout_->setAttribute(Qt::WA_StyledBackground);
    auto* lines = new QVBoxLayout(readout_);
    lines->setContentsMargins(readoutPadding, readoutPadding, readoutPadding, readoutPadding);
    lines->setSpacing(4);
    // The read-out is always as large as its two lines, in the fonts the style sheet gives them,
    // whenever that happens; it stays anchored to the bottom-left corner (eventFilter).
    lines->setSizeConstraint(QLayout::SetFixedSize);
    readout_->installEventFilter(this);
    canvasLabel_->setObjectName(QStringLiteral("canvasLabel"));
    sourceLabel_->setObjectName(QStringLiteral("linkedSourceLabel"));
    lines->addWidget(canvasLabel_);
    lines->addWidget(sourceLabel_);

    // Above the picture, in this order: the read-out, the border, the placeholder.
    readout_->raise();
    border_->raise();
    placeholder_->raise();
    // The placeholder's rows change size when their text or style does: it is fitted again.
    placeholder_->installEventFilter(this);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::avPlayerChanged, &TimelinePreviewEngine::isPlayingChanged,
                        &TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::statusChanged,
                        &TimelinePreviewEngine::lastErrorChanged, &TimelinePreviewEngine::outputWidthChanged,
                        &TimelinePreviewEngine::outputHeightChanged})
        connect(&engine, signal, this, &PreviewArea::refresh);
    connect(&engine, &TimelinePreviewEngine::playheadSecondsChanged, this, &PreviewArea::refreshReadout);
    connect(&workspace_, &EditorWorkspaceController::mediaFolderURLChanged, this, &PreviewArea::refresh);
    connect(&workspace_, &EditorWorkspaceController::mediaFolderHoldsMediaChanged, this, &PreviewArea::refresh);
    refresh();
}

QRect PreviewArea::fittedRect(const QRect& area, double aspect)
{
    if (!(aspect > 0) || area.isEmpty())
        return area;
    double width = area.width();
    double height = width / aspect;
    if (height > area.height()) {
        height = area.height();
        width = height * aspect;
    }
    const int w = static_cast<int>(std::lround(width));
    const int h = static_cast<int>(std::lround(height));
    return {area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h};
}

void PreviewArea::refresh()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    placeholder_->setVisible(engine.avPlayer() == nullptr);
    if (placeholder_->isVisible())
        placeholder_->refresh();
    refreshReadout();
    layoutChildren();
}

void PreviewArea::refreshReadout()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    const bool shown = !engine.isPlaying() && engine.avPlayer() != nullptr;
    readout_->setVisible(shown);
    if (!shown)
        return;
    canvasLabel_->setText(QString::fromStdString(workspace_.canvasLabel()));
    const QString source = QString::fromStdString(workspace_.linkedSourceLabel());
    // One line, shortened in the middle only when the area is too narrow for it.
    QString line = source;
    if (isVisible()) {
        sourceLabel_->ensurePolished();
        const int room = width() - 2 * (readoutInset + readoutPadding);
        line = sourceLabel_->fontMetrics().elidedText(source, Qt::ElideMiddle, std::max(room, 0));
    }
    sourceLabel_->setText(line);
    sourceLabel_->setToolTip(line == source ? QString() : source);
    sourceLabel_->setVisible(!source.isEmpty());
    placeReadout();
}

void PreviewArea::placeReadout()
{
    readout_->move(readoutInset, height() - readout_->height() - readoutInset);
}

bool PreviewArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == readout_ && event->type() == QEvent::Resize)
        placeReadout();
    else if (watched == placeholder_ && event->type() == QEvent::LayoutRequest && placeholder_->isVisible())
        layoutChildren();
    return QWidget::eventFilter(watched, event);
}

void PreviewArea::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshReadout();
}

void PreviewArea::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    refreshReadout();
    layoutChildren();
}

void PreviewArea::layoutChildren()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    const double aspect =
        static_cast<double>(std::max(engine.outputWidth(), 1)) / static_cast<double>(std::max(engine.outputHeight(), 1));
    if (programView_)
        programView_->setGeometry(fittedRect(rect(), aspect));
    border_->setGeometry(rect());
    placeReadout();
    // The placeholder's lines wrap at a comfortable reading width; in a short area its rows move
    // closer together, as little as needed, rather than overlap.
    const int w = std::min(width(), std::max(placeholder_->sizeHint().width(), placeholderWidth));
    using Fit = PreviewPlaceholderView::Fit;
    Fit fit = Fit::roomy;
    for (Fit tried : {Fit::roomy, Fit::tight, Fit::tightest}) {
        fit = tried;
        if (placeholder_->heightFor(w, fit) <= height())
            break;
    }
    placeholder_->setFit(fit, w);
    const int h = std::min(height(), placeholder_->heightFor(w, fit));
    placeholder_->setGeometry((width() - w) / 2, (height() - h) / 2, w, h);
}

} // namespace velmora
