#include "inspectors/SourceGradedPreviewView.h"

#include <cstdint>

#include <QPainter>
#include <QPointer>

#include "model/ProjectLUTResolver.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/StringText.h"
#include "preview/GradedPreviewController.h"
#include "preview/PreviewPictureImage.h"
#include "preview/StatusText.h"

namespace velmora {

SourceGradedPreviewView::SourceGradedPreviewView(std::shared_ptr<MainQueue> mainQueue, QWidget* parent)
    : QWidget(parent), mainQueue_(std::move(mainQueue)),
      newestRequest_(std::make_shared<std::atomic<std::uint64_t>>(0))
{
    setObjectName(QStringLiteral("SourceGradedPreviewView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    liveTimer_.setInterval(livePicturePollMs);
    connect(&liveTimer_, &QTimer::timeout, this, &SourceGradedPreviewView::pollLivePicture);
}

SourceGradedPreviewView::~SourceGradedPreviewView()
{
    // Queued stills are skipped and results in flight dropped.
    newestRequest_->store(0);
}

void SourceGradedPreviewView::setLivePicture(std::function<QImage()> currentPicture)
{
    livePicture_ = std::move(currentPicture);
    liveFrame_ = livePicture_ ? livePicture_() : QImage();
    updateLivePolling();
    update();
}

std::optional<EditorJobV2::ClipGrade> SourceGradedPreviewView::syntheticClipGrade(const std::string& lutReference)
{
    const std::string trimmed = StringText::trimmed(lutReference);
    if (trimmed.empty() || trimmed == ProjectLUTResolver::noLutSentinel)
        return std::nullopt;
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = trimmed;
    grade.lutName = std::filesystem::path(trimmed).filename().string();
    grade.lutStrength = 1.0;
    return grade;
}

std::optional<EditorJobV2::ClipGrade> SourceGradedPreviewView::stillGrade(const SourceGradedPreviewInputs& inputs)
{
    const bool noLut = StringText::trimmed(inputs.lutReference) == ProjectLUTResolver::noLutSentinel;
    return inputs.clipLut && !noLut ? inputs.clipLut : syntheticClipGrade(inputs.lutReference);
}

PreviewFrameGrader::PixelSize SourceGradedPreviewView::stillSize(int outW, int outH)
{
    return PreviewFrameGrader::gradePixelBudget(outW, outH, PreviewFrameGrader::previewMaxGradeEdgePaused);
}

std::string SourceGradedPreviewView::stillKey(const std::filesystem::path& file, double seconds,
                                              const std::string& lutPart)
{
    return file.string() + "|" + StatusText::fixed(seconds, 3) + "|" + lutPart;
}

QRectF SourceGradedPreviewView::frameRect(const QRectF& bounds, int canvasW, int canvasH)
{
    return GradedPreviewController::contentFrameForProjectCanvas(bounds, canvasW, canvasH);
}

void SourceGradedPreviewView::sync(const SourceGradedPreviewInputs& inputs)
{
    canvasW_ = inputs.outW;
    canvasH_ = inputs.outH;
    update();

    const std::optional<EditorJobV2::ClipGrade> grade = stillGrade(inputs);
    const bool gradedStill = inputs.gradeEnabled && !inputs.isPlaying && grade.has_value();
    // A source without a player has no other picture than the still.
    const bool plainStill = !gradedStill && !inputs.hasPlayer;
    if (!inputs.fileURL || !(gradedStill || plainStill)) {
        // Live: whatever is in flight is outdated, and the next pause grades afresh.
        newestRequest_->store(++gradeRequestId_);
        lastGradeKey_.reset();
        setShowingStill(false);
        return;
    }

    // The LUT part keeps the reference as given; a plain still is keyed as having no LUT,
    // which no graded still can be.
    std::string lutPart = gradedStill ? inputs.lutReference : std::string(ProjectLUTResolver::noLutSentinel);
    // Inline text is told apart by its buffer (a changed text is a new one) and length: hashing a
    // LUT of a megabyte on every tick of the viewer's clock would cost more than the still.
    if (gradedStill && inputs.clipLut && inputs.clipLut->lutData) {
        lutPart += "|" + std::to_string(reinterpret_cast<std::uintptr_t>(inputs.clipLut->lutData->data())) + "|" +
                   std::to_string(inputs.clipLut->lutData->size());
    }
    const std::string key = stillKey(*inputs.fileURL, inputs.currentTime, lutPart);
    if (lastGradeKey_ == key)
        return;
    lastGradeKey_ = key;
    const PreviewFrameGrader::PixelSize budget = stillSize(inputs.outW, inputs.outH);
    request(StillJob{*inputs.fileURL, inputs.currentTime, budget.w, budget.h, gradedStill ? grade : std::nullopt,
                     inputs.mediaFolder, inputs.sessionFile});
}

void SourceGradedPreviewView::request(StillJob job)
{
    const std::uint64_t id = ++gradeRequestId_;
    newestRequest_->store(id);
    const std::shared_ptr<std::atomic<std::uint64_t>> newest = newestRequest_;
    const std::shared_ptr<MainQueue> mainQueue = mainQueue_;
    const QPointer<SourceGradedPreviewView> self(this);
    PreviewFrameGrader::gradeQueue().async([job = std::move(job), id, newest, mainQueue, self] {
        if (newest->load() != id)
            return;
        std::optional<QImage> still = renderStill(job);
        mainQueue->post([self, id, still = std::move(still)]() mutable {
            if (self)
                self->takeStill(id, std::move(still));
        });
    });
}

std::optional<QImage> SourceGradedPreviewView::renderStill(const StillJob& job)
{
    const std::optional<Image> frame =
        PreviewFrameGrader::decodeSourceStill(job.file, job.seconds, job.width, job.height);
    if (!frame)
        return std::nullopt;
    const Image framed = PreviewFrameGrader::letterboxToOutput(*frame, job.width, job.height);
    const Image graded = job.grade ? PreviewFrameGrader::applyLut(framed, job.grade, std::nullopt, job.mediaFolder,
                                                                  job.sessionFile, false)
                                   : framed;
    const std::optional<Image> bitmap = PreviewFrameGrader::renderCGImage(graded, job.width, job.height, false);
    if (!bitmap)
        return std::nullopt;
    QImage image = PreviewPictureImage::fromImage(*bitmap);
    if (image.isNull())
        return std::nullopt;
    return image;
}

void SourceGradedPreviewView::takeStill(std::uint64_t requestId, std::optional<QImage> still)
{
    if (requestId != gradeRequestId_)
        return;
    answeredRequestId_ = requestId;
    if (still) {
        still_ = std::move(*still);
        setShowingStill(true);
    } else {
        // The old still stays kept, hidden; the key stays too, so the same frame is not retried.
        setShowingStill(false);
    }
}

void SourceGradedPreviewView::setShowingStill(bool showing)
{
    if (showingStill_ != showing) {
        showingStill_ = showing;
        updateLivePolling();
    }
    update();
}

void SourceGradedPreviewView::updateLivePolling()
{
    const bool poll = livePicture_ && !showingStill_ && isVisible();
    if (poll && !liveTimer_.isActive())
        liveTimer_.start();
    else if (!poll)
        liveTimer_.stop();
}

void SourceGradedPreviewView::pollLivePicture()
{
    QImage frame = livePicture_ ? livePicture_() : QImage();
    if (frame.cacheKey() != liveFrame_.cacheKey()) {
        liveFrame_ = std::move(frame);
        update();
    }
}

void SourceGradedPreviewView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateLivePolling();
}

void SourceGradedPreviewView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateLivePolling();
}

void SourceGradedPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRectF frame = pictureFrame();
    const QImage& picture = showingStill_ ? still_ : liveFrame_;
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        return;
    // Both layers fit their picture inside the shared frame, keeping its aspect.
    const QSizeF fitted = QSizeF(picture.size()).scaled(frame.size(), Qt::KeepAspectRatio);
    const QRectF target(frame.center().x() - fitted.width() / 2, frame.center().y() - fitted.height() / 2,
                        fitted.width(), fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}

} // namespace velmora
