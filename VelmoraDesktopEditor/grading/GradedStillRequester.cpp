#include "grading/GradedStillRequester.h"

#include <algorithm>

#include "grading/GradingCaches.h"

namespace velmora {

namespace {

SerialQueue& queueFor(GradedStillKind kind)
{
    switch (kind) {
    case GradedStillKind::interactive:
        return PreviewFrameGrader::interactiveQueue();
    case GradedStillKind::source:
        return PreviewFrameGrader::gradeQueue();
    case GradedStillKind::paused:
        break;
    }
    return PreviewFrameGrader::pauseGradeQueue();
}

} // namespace

PreviewFrameGrader::PixelSize gradedStillSize(GradedStillKind kind, int outW, int outH)
{
    if (kind == GradedStillKind::interactive) {
        return PreviewFrameGrader::gradePixelBudget(outW, outH, PreviewFrameGrader::previewMaxGradeEdgeInteractive);
    }
    // The canvas's own longer side, capped: the budget never enlarges, so the cap is all that
    // needs saying.
    return PreviewFrameGrader::gradePixelBudget(outW, outH, PreviewFrameGrader::previewMaxGradeEdgePaused);
}

std::string lutKeyForGrade(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    if (!grade || grade->hasLut == false) {
        return "none";
    }
    std::string key = grade->hasLut == true ? "on" : "inline";
    key += "~" + grade->lutFile.value_or("") + "~" + grade->lutName.value_or("");
    key += "~" + Exporter::formatSixDecimals(grade->lutStrength.value_or(1.0));
    if (grade->lutData) {
        key += "~" + PreviewFrameGrader::lutTextDigest(grade->lutData->str());
    }
    return key;
}

GradedStillRequester::GradedStillRequester(std::shared_ptr<MainQueue> mainQueue)
    : mainQueue_(std::move(mainQueue)), state_(std::make_shared<State>())
{
}

GradedStillRequester::~GradedStillRequester()
{
    cancel();
}

std::uint64_t GradedStillRequester::request(GradedStillKind kind, GradedStillRequest request, Completion completion)
{
    const std::uint64_t number = ++issued_;
    state_->current.store(number);
    std::weak_ptr<State> weakState = state_;
    std::shared_ptr<MainQueue> mainQueue = mainQueue_;
    queueFor(kind).async([kind, number, weakState, mainQueue, request = std::move(request),
                          completion = std::move(completion)]() mutable {
        const auto isCurrent = [weakState, number] {
            const auto state = weakState.lock();
            return state && state->current.load() == number;
        };
        if (!isCurrent()) {
            return;
        }
        std::optional<Image> still = gradeStill(kind, request);
        mainQueue->post([isCurrent, still = std::move(still), completion = std::move(completion)]() mutable {
            if (isCurrent() && completion) {
                completion(std::move(still));
            }
        });
    });
    return number;
}

void GradedStillRequester::cancel()
{
    // A number no request carries: every outstanding one is now stale.
    state_->current.store(++issued_);
}

std::uint64_t GradedStillRequester::currentRequest() const
{
    return state_->current.load();
}

std::optional<Image> GradedStillRequester::gradeStill(GradedStillKind kind, const GradedStillRequest& request)
{
    const PreviewFrameGrader::PixelSize size = gradedStillSize(kind, request.outW, request.outH);
    const std::string frameKey =
        PreviewFrameGrader::lutBaseCacheKey(request.clipId, request.assetURL.string(), request.frameIndex,
                                            lutKeyForGrade(request.clipGrade), size.w, size.h);
    const std::optional<Image> base =
        PreviewFrameGrader::fetchLutBase(
            frameKey, request.clipGrade, request.mediaFolder, request.sessionFile,
            [&] { return PreviewFrameGrader::decodeSourceStill(request.assetURL, request.sourceTime, size.w, size.h); },
            size.w, size.h)
            .image;
    if (!base) {
        return std::nullopt;
    }
    const Image graded =
        PreviewFrameGrader::applyGradeParams(*base, request.clipGrade, size.w, size.h, request.gammaMode,
                                             request.compContrast, request.compSaturation, request.compBrightness,
                                             request.compTint);
    return PreviewFrameGrader::renderCGImage(graded, size.w, size.h, kind == GradedStillKind::interactive);
}

} // namespace velmora
