#include "inspectors/SourceViewer.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraPalette.h"
#include "controls/VelmoraStyleSheet.h"
#include "controls/VelmoraSymbols.h"
#include "controls/WindowKeyboardFocusView.h"
#include "inspectors/SourceAudioWaveformView.h"
#include "inspectors/SourceGradedPreviewView.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/ShownText.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {
namespace {

using VelmoraPalette::css;
using VelmoraPalette::grey;

enum PicturePage { loadingPage, gradedPage, waveformPage, errorPage };

// Scrub positions per second of source; fewer for sources so long that the count would not
// fit the slider.
constexpr double kScrubPositionsPerSecond = 100;
constexpr double kMaximumScrubPositions = 1e9;

double scrubPositionsPerSecond(double maximumSeconds)
{
    return maximumSeconds * kScrubPositionsPerSecond <= kMaximumScrubPositions
               ? kScrubPositionsPerSecond
               : kMaximumScrubPositions / maximumSeconds;
}

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

QLabel* textLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent,
                  bool monospaced = false)
{
    auto* label = new QLabel(text, parent);
    label->setFont(VelmoraStyleSheet::font(pixelSize, weight, monospaced));
    VelmoraStyleSheet::setTextColour(*label, colour);
    return label;
}

// The IN or OUT column: its title over a button showing the mark.
QWidget* markColumn(const QString& title, const QColor& colour, const QString& buttonName, QPushButton*& button,
                    QWidget* parent)
{
    auto* column = new QWidget(parent);
    column->setMinimumWidth(80);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(textLabel(title, 11, QFont::Bold, Qt::white, column));
    button = new QPushButton(column);
    button->setObjectName(buttonName);
    button->setFont(VelmoraStyleSheet::font(12, QFont::Normal, true));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    QColor tint = colour;
    tint.setAlphaF(0.2f);
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 4px;"
                                         " padding: 4px 8px; }")
                              .arg(css(colour), css(tint)));
    layout->addWidget(button, 0, Qt::AlignLeft);
    return column;
}

} // namespace

SourceViewer::SourceViewer(TimelinePreviewEngine& engine, EditSession::Source source,
                           std::optional<std::filesystem::path> mediaFolderURL,
                           std::optional<std::filesystem::path> sessionFile, std::optional<std::string> timelineClipId,
                           std::optional<double> initialInPoint, std::optional<double> initialOutPoint,
                           std::function<bool()> isWindowKey, RangeHandOver onUpdateTimeline,
                           RangeHandOver onInsertAtPlayhead, RangeHandOver onAddToTimeline,
                           std::function<void()> onClose, std::function<void()> onLutChanged,
                           SourceViewerServices services, QWidget* parent)
    : QWidget(parent),
      controller_(new SourceViewerController(
          engine, std::move(source), std::move(mediaFolderURL), std::move(sessionFile), std::move(timelineClipId),
          initialInPoint, initialOutPoint,
          SourceViewerController::Callbacks{std::move(isWindowKey), std::move(onUpdateTimeline),
                                            std::move(onInsertAtPlayhead), std::move(onAddToTimeline),
                                            std::move(onClose), std::move(onLutChanged)},
          std::move(services), this))
{
    setObjectName(QStringLiteral("SourceViewer"));
    setStyleSheet(VelmoraStyleSheet::buttonLooks());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildPictureArea(), 1);
    layout->addWidget(buildControlPanel());
    bindController();
}

SourceViewer::~SourceViewer()
{
    disappear();
    // The children go before this object's connections do: nothing may reach them meanwhile.
    disconnect(controller_, nullptr, this, nullptr);
}

// ---- view tree ----

QWidget* SourceViewer::buildPictureArea()
{
    auto* area = new QWidget(this);
    area->setObjectName(QStringLiteral("pictureArea"));
    area->setMinimumHeight(minimumPictureHeight);
    area->setAttribute(Qt::WA_StyledBackground);
    area->setStyleSheet(QStringLiteral("QWidget#pictureArea { background: black; }"));
    pictureStack_ = new QStackedLayout(area);
    pictureStack_->setContentsMargins(0, 0, 0, 0);

    loadingLabel_ = textLabel(QString::fromLatin1(SourceViewerController::loadingText), 14, QFont::Normal, Qt::gray, area);
    loadingLabel_->setObjectName(QStringLiteral("loadingLabel"));
    loadingLabel_->setAlignment(Qt::AlignCenter);
    pictureStack_->insertWidget(loadingPage, loadingLabel_);

    gradedPreview_ = new SourceGradedPreviewView(controller_->mainQueue(), area);
    pictureStack_->insertWidget(gradedPage, gradedPreview_);
    waveform_ = new SourceAudioWaveformView(controller_->mainQueue(), area);
    pictureStack_->insertWidget(waveformPage, waveform_);

    errorPanel_ = new QWidget(area);
    errorPanel_->setObjectName(QStringLiteral("errorPanel"));
    auto* errorLayout = new QVBoxLayout(errorPanel_);
    errorLayout->setContentsMargins(24, 24, 24, 24);
    errorLayout->setSpacing(8);
    errorLayout->addStretch(1);
    errorLabel_ = textLabel(QString(), 13, QFont::Normal, VelmoraPalette::orange(), errorPanel_);
    errorLabel_->setObjectName(QStringLiteral("errorLabel"));
    errorLabel_->setAlignment(Qt::AlignCenter);
    errorLabel_->setWordWrap(true);
    errorLayout->addWidget(errorLabel_);
    QLabel* name = textLabel(qt(shownText(controller_->source().fileName)), VelmoraStyleSheet::caption, QFont::Normal,
                             Qt::gray, errorPanel_);
    name->setAlignment(Qt::AlignCenter);
    errorLayout->addWidget(name);
    errorLayout->addStretch(1);
    pictureStack_->insertWidget(errorPage, errorPanel_);

    // Outside the stack: zero-sized, it takes the window's keyboard focus when shown.
    focusView_ = new WindowKeyboardFocusView(area);
    focusView_->move(0, 0);
    return area;
}

QWidget* SourceViewer::buildControlPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("controlPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(QStringLiteral("QWidget#controlPanel { background: %1; }").arg(css(grey(0.18))));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    if (!controller_->isAudioSource())
        layout->addWidget(buildLutRow(panel));
    layout->addWidget(buildTransportRow(panel));
    layout->addWidget(buildActionRow(panel));
    return panel;
}

QWidget* SourceViewer::buildLutRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("lutRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(textLabel(QStringLiteral("LUT"), 11, QFont::Bold, Qt::white, row));
    lutPicker_ = new VelmoraDarkPopUpPicker(row);
    lutPicker_->setObjectName(QStringLiteral("lutPicker"));
    lutPicker_->setMinimumWidth(160);
    lutPicker_->setMaximumWidth(280);
    layout->addWidget(lutPicker_);
    gradeToggle_ = new QCheckBox(QStringLiteral("Grade"), row);
    gradeToggle_->setObjectName(QStringLiteral("gradeToggle"));
    gradeToggle_->setToolTip(QStringLiteral("LUT always on \u00B7 Grade adds mood/basic (auto-off during play if heavy)"));
    gradeToggle_->setFocusPolicy(Qt::NoFocus);
    gradeToggle_->setStyleSheet(QStringLiteral("QCheckBox { color: white; }"));
    layout->addWidget(gradeToggle_);
    layout->addStretch(1);

    connect(lutPicker_, &VelmoraDarkPopUpPicker::selectionWritten, controller_,
            [this](const QString& reference) { controller_->chooseLut(reference.toStdString()); });
    connect(gradeToggle_, &QCheckBox::toggled, controller_,
            [this](bool checked) { controller_->setGradeEnabled(checked); });
    return row;
}

QWidget* SourceViewer::buildTransportRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("transportRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    playButton_ = new QPushButton(row);
    playButton_->setObjectName(QStringLiteral("playButton"));
    playButton_->setFixedSize(60, 44);
    playButton_->setIconSize(QSize(24, 24));
    playButton_->setFocusPolicy(Qt::NoFocus);
    VelmoraStyleSheet::makeProminent(*playButton_);
    layout->addWidget(playButton_);
    connect(playButton_, &QPushButton::clicked, controller_, &SourceViewerController::togglePlayback);

    layout->addWidget(markColumn(QStringLiteral("IN"), VelmoraPalette::green(), QStringLiteral("inButton"), inButton_, row));
    connect(inButton_, &QPushButton::clicked, controller_, &SourceViewerController::markIn);

    auto* timeColumn = new QWidget(row);
    timeColumn->setMinimumWidth(120);
    auto* timeLayout = new QVBoxLayout(timeColumn);
    timeLayout->setContentsMargins(0, 0, 0, 0);
    timeLayout->setSpacing(2);
    timeLayout->addWidget(textLabel(QStringLiteral("TIME"), 11, QFont::Bold, Qt::white, timeColumn));
    timeLabel_ = textLabel(QString(), 14, QFont::Normal, Qt::white, timeColumn, true);
    timeLabel_->setObjectName(QStringLiteral("timeLabel"));
    timeLayout->addWidget(timeLabel_);
    durationLabel_ = textLabel(QString(), 11, QFont::Normal, Qt::gray, timeColumn, true);
    durationLabel_->setObjectName(QStringLiteral("durationLabel"));
    timeLayout->addWidget(durationLabel_);
    layout->addWidget(timeColumn);

    layout->addWidget(markColumn(QStringLiteral("OUT"), VelmoraPalette::red(), QStringLiteral("outButton"), outButton_, row));
    connect(outButton_, &QPushButton::clicked, controller_, &SourceViewerController::markOut);

    scrubSlider_ = new QSlider(Qt::Horizontal, row);
    scrubSlider_->setObjectName(QStringLiteral("scrubSlider"));
    scrubSlider_->setFocusPolicy(Qt::NoFocus);
    scrubSlider_->setStyleSheet(
        QStringLiteral("QSlider::sub-page:horizontal { background: %1; border-radius: 2px; }").arg(css(VelmoraPalette::accent())));
    layout->addWidget(scrubSlider_, 1);
    // Model pushes are made with signals blocked, so a change here is always the user's.
    connect(scrubSlider_, &QSlider::valueChanged, controller_, [this](int position) {
        controller_->scrub(position / scrubPositionsPerSecond(controller_->scrubMaximum()));
    });

    layout->addStretch(0);
    auto* info = new QWidget(row);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    infoLayout->setSpacing(2);
    QLabel* fileName = textLabel(qt(shownText(controller_->source().fileName)), 13, QFont::Medium, Qt::white, info);
    fileName->setObjectName(QStringLiteral("fileNameLabel"));
    infoLayout->addWidget(fileName, 0, Qt::AlignRight);
    const std::string sizeLine = controller_->sizeLine();
    if (!sizeLine.empty()) {
        QLabel* size = textLabel(qt(sizeLine), 11, QFont::Normal, Qt::gray, info);
        size->setObjectName(QStringLiteral("sizeLabel"));
        infoLayout->addWidget(size, 0, Qt::AlignRight);
    }
    layout->addWidget(info);
    return row;
}

QWidget* SourceViewer::buildActionRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("actionRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addStretch(1);
    const auto addButton = [&](const QString& title, const QString& name, bool prominent, bool large,
                               void (SourceViewerController::*action)()) {
        auto* button = new QPushButton(title, row);
        button->setObjectName(name);
        button->setFocusPolicy(Qt::NoFocus);
        if (prominent)
            VelmoraStyleSheet::makeProminent(*button, large);
        else
            VelmoraStyleSheet::makeBordered(*button, large);
        connect(button, &QPushButton::clicked, controller_, action);
        layout->addWidget(button);
        return button;
    };
    addButton(QStringLiteral("Clear In/Out"), QStringLiteral("clearButton"), false, false,
              &SourceViewerController::clearInOut);
    if (controller_->timelineClipId()) {
        addButton(QStringLiteral("Update Timeline"), QStringLiteral("updateTimelineButton"), true, true,
                  &SourceViewerController::updateTimeline)
            ->setToolTip(QStringLiteral("Apply in/out + LUT to the selected timeline clip"));
        addButton(QStringLiteral("Insert @ Playhead"), QStringLiteral("insertButton"), false, true,
                  &SourceViewerController::insertAtPlayhead);
    } else {
        addButton(QStringLiteral("Insert @ Playhead"), QStringLiteral("insertButton"), true, true,
                  &SourceViewerController::insertAtPlayhead);
        addButton(QStringLiteral("Add to Timeline"), QStringLiteral("addButton"), false, true,
                  &SourceViewerController::addToTimeline);
    }
    addButton(QStringLiteral("Close"), QStringLiteral("closeButton"), false, true, &SourceViewerController::close);
    return row;
}

// ---- binding ----

void SourceViewer::bindController()
{
    SourceViewerController* c = controller_;
    connect(c, &SourceViewerController::playerChanged, this, [this] {
        gradedPreview_->setLivePicture(controller_->currentPicture());
        showPicture();
    });
    connect(c, &SourceViewerController::fileURLChanged, this, &SourceViewer::showPicture);
    connect(c, &SourceViewerController::loadErrorChanged, this, &SourceViewer::showPicture);
    connect(c, &SourceViewerController::isPlayingChanged, this, &SourceViewer::showPlayState);
    connect(c, &SourceViewerController::currentTimeChanged, this, &SourceViewer::showTimes);
    connect(c, &SourceViewerController::durationChanged, this, &SourceViewer::showTimes);
    connect(c, &SourceViewerController::inPointChanged, this, &SourceViewer::showMarks);
    connect(c, &SourceViewerController::outPointChanged, this, &SourceViewer::showMarks);
    connect(c, &SourceViewerController::sourceLutReferenceChanged, this, &SourceViewer::showLut);
    if (TimelinePreviewEngine* engine = c->engine()) {
        connect(engine, &TimelinePreviewEngine::gradePreviewEnabledChanged, this, &SourceViewer::showLut);
        connect(engine, &TimelinePreviewEngine::outputWidthChanged, this, &SourceViewer::syncPicture);
        connect(engine, &TimelinePreviewEngine::outputHeightChanged, this, &SourceViewer::syncPicture);
    }
    refreshLutNames();
    showPicture();
    showPlayState();
    showTimes();
    showMarks();
}

void SourceViewer::showPicture()
{
    const auto page = [this] {
        switch (controller_->picture()) {
        case SourceViewerController::Picture::waveform:
            return waveformPage;
        case SourceViewerController::Picture::gradedPreview:
            return gradedPage;
        case SourceViewerController::Picture::error:
            return errorPage;
        case SourceViewerController::Picture::loading:
            break;
        }
        return loadingPage;
    }();
    errorLabel_->setText(qt(controller_->loadError().value_or(std::string())));
    pictureStack_->setCurrentIndex(page);
    syncPicture();
    syncWaveform();
}

void SourceViewer::syncPicture()
{
    if (controller_->picture() != SourceViewerController::Picture::gradedPreview)
        return;
    gradedPreview_->sync(pictureInputs(*controller_));
}

SourceGradedPreviewInputs SourceViewer::pictureInputs(const SourceViewerController& controller)
{
    const TimelinePreviewEngine* engine = controller.engine();
    SourceGradedPreviewInputs inputs;
    inputs.hasPlayer = controller.player() != nullptr;
    inputs.fileURL = controller.fileURL();
    inputs.isPlaying = controller.isPlaying();
    inputs.gradeEnabled = controller.gradeEnabled();
    inputs.lutReference = controller.sourceLutReference();
    inputs.clipLut = controller.clipLutGrade();
    inputs.mediaFolder = controller.mediaFolder();
    inputs.sessionFile = controller.sessionFile();
    inputs.currentTime = controller.currentTime();
    inputs.outW = engine ? engine->outputWidth() : 1920;
    inputs.outH = engine ? engine->outputHeight() : 1080;
    return inputs;
}

void SourceViewer::syncWaveform()
{
    if (controller_->picture() != SourceViewerController::Picture::waveform)
        return;
    waveform_->sync(controller_->fileURL(), controller_->currentTime(), controller_->duration(),
                    controller_->inPoint(), controller_->outPoint());
}

void SourceViewer::showPlayState()
{
    VelmoraSymbols::apply(*playButton_, controller_->isPlaying() ? "pause.fill" : "play.fill");
    syncPicture();
}

void SourceViewer::showTimes()
{
    timeLabel_->setText(qt(SourceViewerController::formatTime(controller_->currentTime())));
    durationLabel_->setText(QStringLiteral("/ ") + qt(SourceViewerController::formatTime(controller_->duration())));
    const double maximum = controller_->scrubMaximum();
    const double perSecond = scrubPositionsPerSecond(maximum);
    {
        const QSignalBlocker blocker(scrubSlider_);
        scrubSlider_->setRange(0, std::max(1, static_cast<int>(std::lround(maximum * perSecond))));
        const double time = controller_->currentTime();
        scrubSlider_->setValue(std::isfinite(time) ? static_cast<int>(std::lround(std::clamp(time, 0.0, maximum) * perSecond)) : 0);
    }
    scrubSlider_->setEnabled(controller_->isScrubEnabled());
    syncPicture();
    syncWaveform();
}

void SourceViewer::showMarks()
{
    inButton_->setText(qt(SourceViewerController::formatTime(controller_->inPoint())));
    outButton_->setText(qt(SourceViewerController::formatTime(controller_->outPoint())));
    syncWaveform();
}

void SourceViewer::showLut()
{
    if (lutPicker_)
        lutPicker_->setSelection(controller_->sourceLutReference());
    if (gradeToggle_) {
        const QSignalBlocker blocker(gradeToggle_);
        gradeToggle_->setChecked(controller_->gradeEnabled());
    }
    syncPicture();
}

void SourceViewer::refreshLutNames()
{
    if (!lutPicker_)
        return;
    std::vector<VelmoraDarkPopUpPicker::PopUpItem> items;
    for (const std::string& name : controller_->lutNames())
        items.push_back({name, controller_->lutTitle(name), false});
    if (items != lutPicker_->items())
        lutPicker_->setSelectionAndItems(controller_->sourceLutReference(), std::move(items));
    showLut();
}

// ---- on screen ----

void SourceViewer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        appear();
}

void SourceViewer::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Hidden by the program (its window closed): gone. A minimised window stays loaded.
    if (!event->spontaneous())
        disappear();
}

void SourceViewer::appear()
{
    if (onScreen_)
        return;
    onScreen_ = true;
    controller_->load();
    installKeyMonitor();
}

void SourceViewer::disappear()
{
    if (!onScreen_)
        return;
    onScreen_ = false;
    removeKeyMonitor();
    controller_->disappear();
}

void SourceViewer::installKeyMonitor()
{
    if (keyMonitorInstalled_)
        return;
    qApp->installEventFilter(this);
    keyMonitorInstalled_ = true;
}

void SourceViewer::removeKeyMonitor()
{
    if (!keyMonitorInstalled_)
        return;
    qApp->removeEventFilter(this);
    keyMonitorInstalled_ = false;
}

std::string SourceViewer::charactersIgnoringModifiers(const QKeyEvent& event)
{
    const int key = event.key();
    if (key == Qt::Key_Space)
        return " ";
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return std::string(1, static_cast<char>('a' + (key - Qt::Key_A)));
    return event.text().toStdString();
}

bool SourceViewer::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = QtMainQueue::typeOf(*event);
    if (type == QEvent::WindowActivate && watched == window()) {
        // LUT files may have been added while another window was in front.
        refreshLutNames();
        return false;
    }
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) ||
        !(watched->isWidgetType() || watched->isWindowType()))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const std::string characters = charactersIgnoringModifiers(*key);
    if (type == QEvent::ShortcutOverride) {
        // Claim the key before any shortcut does; the key press follows and acts.
        if (!controller_->takesKey(characters))
            return false;
        key->accept();
        return true;
    }
    return controller_->handleKey(characters);
}

} // namespace velmora
