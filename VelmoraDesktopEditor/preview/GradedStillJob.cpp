#include "preview/GradedStillJob.h"

#include "grading/ClipGradeEditState.h"
#include "grading/LutApplication.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/media/PixelBufferImage.h"
#include "platform/media/VideoOutput.h"
#include "preview/PreviewPictureImage.h"

namespace velmora {

namespace {

// The id of the scratch clip a still's grade is judged through.
constexpr const char* scratchClipId = "_grade_preview";

} // namespace

GradedStillJob::Result GradedStillJob::run() const
{
    // The paused still never falls back to the project LUT.
    PreviewFrameGrader::LutBase base = PreviewFrameGrader::fetchLutBase(
        lutBaseKey, grade, mediaFolder, sessionFile, [this] { return decodedBase(); }, width, height);
    if (!base.image) {
        return {Outcome::noBase, {}, source ? std::optional<std::filesystem::path>(source->url) : std::nullopt, {}};
    }
    QImage still = gradeBase(*base.image, grade, gradePreviewEnabled, width, height, interactive);
    if (still.isNull()) {
        return {Outcome::noImage, {}, std::nullopt, std::move(base.key)};
    }
    return {Outcome::still, std::move(still), std::nullopt, std::move(base.key)};
}

QImage GradedStillJob::gradeBase(const Image& base, const std::optional<EditorJobV2::ClipGrade>& grade,
                                 bool gradePreviewEnabled, int width, int height, bool interactive)
{
    EditSession::Clip scratch(scratchClipId);
    scratch.grade = grade;
    const ClipGradeEditState state = ClipGradeEditState::from(scratch);
    // A LUT alone is all in the base already.
    Image graded = base;
    if (gradePreviewEnabled && state.hasAnyGrade()) {
        graded = PreviewFrameGrader::applyGradeParams(base, grade, width, height,
                                                      PreviewFrameGrader::editorDisplayGammaMode, 1.0, 1.0, 0.0, 0.0);
    }
    const std::optional<Image> bitmap = PreviewFrameGrader::renderCGImage(graded, width, height, interactive);
    return bitmap ? PreviewPictureImage::fromImage(*bitmap) : QImage();
}

std::optional<Image> GradedStillJob::decodedBase() const
{
    if (std::optional<Image> frame = frameFromOutput()) {
        return frame;
    }
    if (source) {
        if (const std::optional<Image> still =
                PreviewFrameGrader::decodeSourceStill(source->url, source->sourceSeconds, width, height, true)) {
            return PreviewFrameGrader::letterboxToOutput(*still, width, height);
        }
    }
    // The player may have shown the frame while the file was being read.
    return frameFromOutput();
}

std::optional<Image> GradedStillJob::frameFromOutput() const
{
    if (!videoOutput || !itemTime.isNumeric()) {
        return std::nullopt;
    }
    const PixelBuffer buffer = videoOutput->copyPixelBuffer(itemTime);
    if (!buffer) {
        return std::nullopt;
    }
    // The output holds the composed picture at the canvas size, already turned upright by the
    // composition: unlike a source frame it takes no display transform.
    Image frame = imageFromPixelBuffer(buffer);
    Exporter::tagPixelBufferDecode(frame.tags);
    return PreviewFrameGrader::letterboxToOutput(frame, width, height);
}

} // namespace velmora
