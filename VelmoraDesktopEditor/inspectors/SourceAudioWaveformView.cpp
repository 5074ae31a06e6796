#include "inspectors/SourceAudioWaveformView.h"

#include <cmath>

#include <QPainter>
#include <QPointer>
#include <QWindow>

#include "controls/VelmoraStyleSheet.h"
#include "inspectors/SourceAudioWaveform.h"
#include "platform/dispatch/MainQueue.h"

namespace velmora {
namespace {

// A resize smaller than this (points, in both directions) keeps the bitmap.
constexpr double kReloadThreshold = 2;
// Scale of a view that is not in a window yet.
constexpr double kWindowlessScale = 2.0;

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

} // namespace

SourceAudioWaveformView::SourceAudioWaveformView(std::shared_ptr<MainQueue> mainQueue, QWidget* parent)
    : QWidget(parent), mainQueue_(std::move(mainQueue)),
      newestLoad_(std::make_shared<std::atomic<std::uint64_t>>(0))
{
    setObjectName(QStringLiteral("SourceAudioWaveformView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

SourceAudioWaveformView::~SourceAudioWaveformView()
{
    // No token matches any more: running reads stop at their next buffer and post nothing.
    newestLoad_->store(0);
    loads_.waitForAll();
}

void SourceAudioWaveformView::sync(const std::optional<std::filesystem::path>& fileURL, double currentTime,
                                   double duration, double inPoint, double outPoint)
{
    const bool sameFile = fileURL_.has_value() == fileURL.has_value() && (!fileURL || *fileURL_ == *fileURL);
    currentTime_ = currentTime;
    duration_ = duration;
    inPoint_ = inPoint;
    outPoint_ = outPoint;
    if (sameFile) {
        update();
        return;
    }
    fileURL_ = fileURL;
    waveformReady_ = false;
    waveformBase_ = QImage();
    scheduleLoad();
}

void SourceAudioWaveformView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSizeF size = this->size();
    if (size.width() > SourceAudioWaveform::minimumViewSide && size.height() > SourceAudioWaveform::minimumViewSide &&
        (std::abs(size.width() - lastRenderSize_.width()) > kReloadThreshold ||
         std::abs(size.height() - lastRenderSize_.height()) > kReloadThreshold) &&
        fileURL_)
        scheduleLoad();
}

double SourceAudioWaveformView::backingScale() const
{
    const QWidget* top = window();
    return top && top->windowHandle() ? top->windowHandle()->devicePixelRatio() : kWindowlessScale;
}

void SourceAudioWaveformView::scheduleLoad()
{
    const QSizeF size = this->size();
    if (!fileURL_ || !(size.width() > SourceAudioWaveform::minimumViewSide) ||
        !(size.height() > SourceAudioWaveform::minimumViewSide))
        return;
    const std::uint64_t token = ++loadToken_;
    newestLoad_->store(token);
    const SourceAudioWaveform::BitmapSize bitmap = SourceAudioWaveform::bitmapSize(size, backingScale());
    lastRenderSize_ = size;

    const std::filesystem::path file = *fileURL_;
    const std::shared_ptr<std::atomic<std::uint64_t>> newest = newestLoad_;
    const std::shared_ptr<MainQueue> mainQueue = mainQueue_;
    const QPointer<SourceAudioWaveformView> self(this);
    loads_.start([file, bitmap, token, newest, mainQueue, self] {
        const auto superseded = [newest, token] { return newest->load() != token; };
        if (superseded())
            return;
        const std::vector<float> values = SourceAudioWaveform::waveformValues(file, bitmap.columns, superseded);
        if (superseded())
            return;
        QImage image = SourceAudioWaveform::renderBitmap(values, bitmap.columns, bitmap.pixelHeight);
        mainQueue->post([self, token, image = std::move(image)]() mutable {
            if (self)
                self->takeLoad(token, std::move(image));
        });
    });
}

void SourceAudioWaveformView::takeLoad(std::uint64_t token, QImage bitmap)
{
    if (token != loadToken_)
        return;
    waveformBase_ = std::move(bitmap);
    waveformReady_ = true;
    update();
}

void SourceAudioWaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    const double w = bounds.width();
    const double h = bounds.height();
    painter.fillRect(bounds, Qt::black);
    if (!waveformReady_ || waveformBase_.isNull()) {
        painter.setFont(VelmoraStyleSheet::font(12, QFont::Normal, true));
        painter.setPen(QColor::fromRgbF(0.88f, 0.88f, 0.88f, 0.75f));
        // The text's baseline sits 22 points below the top edge, less its descent.
        painter.drawText(QPointF(10, 22 - painter.fontMetrics().descent()), QStringLiteral("Loading waveform\u2026"));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(bounds, waveformBase_);
    if (!(duration_ > 0))
        return;
    const double xIn = w * inPoint_ / duration_;
    const double xOut = w * outPoint_ / duration_;
    if (std::isfinite(xIn) && std::isfinite(xOut) && xIn < xOut)
        painter.fillRect(QRectF(xIn, 0, xOut - xIn, h), withAlpha(QColor(245, 158, 11), 0.1));
    const auto line = [&](double x, const QColor& colour) {
        if (!std::isfinite(x))
            return;
        painter.setPen(QPen(withAlpha(colour, 0.95), 1.0));
        painter.drawLine(QPointF(x + 0.5, 0), QPointF(x + 0.5, h));
    };
    line(xIn, QColor(34, 197, 94));
    line(xOut, QColor(239, 68, 68));
    line(w * (currentTime_ / duration_), QColor(245, 158, 11));
}

} // namespace velmora
