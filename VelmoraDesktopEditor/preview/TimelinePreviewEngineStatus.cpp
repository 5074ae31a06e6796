// The status line: who may replace which words, and the LUT words that follow the LUT answer.
//
// An outcome's words replace the line. A build's announcement ("Building timeline…") is replaced
// by the build's own outcome; words written while it ran are news the user has not read yet, and
// the outcome follows them instead of wiping them:
//
//   "Building timeline…"  ->  import refused: "Import failed — C0001.MP4: …"
//                         ->  build installed: "Import failed — C0001.MP4: … · Ready — 6.00s · …"
//
// Warnings (files shown by another, files that cannot be read, LUTs that grade nothing) go in
// front of whatever the line says, where a line cut short still shows them.

#include "preview/TimelinePreviewEngine.h"

#include <string_view>

namespace velmora {

namespace {

constexpr std::string_view kSeparator = " \u00B7 ";

} // namespace

void TimelinePreviewEngine::writeStatus(std::string status, bool announcesBuild)
{
    status_ = std::move(status);
    statusAnnouncesBuild_ = announcesBuild;
    emit statusChanged();
}

void TimelinePreviewEngine::setStatus(std::string status)
{
    writeStatus(std::move(status), false);
}

void TimelinePreviewEngine::announceBuild(std::string words)
{
    writeStatus(std::move(words), true);
}

void TimelinePreviewEngine::reportBuildOutcome(const std::string& words)
{
    writeStatus(statusAnnouncesBuild_ ? words : status_ + std::string(kSeparator) + words, false);
}

void TimelinePreviewEngine::restateStatus(std::string status)
{
    writeStatus(std::move(status), statusAnnouncesBuild_);
}

void TimelinePreviewEngine::putWarningInFront(const std::string& warning)
{
    if (!warning.empty() && status_.find(warning) == std::string::npos) {
        restateStatus(warning + std::string(kSeparator) + status_);
    }
}

void TimelinePreviewEngine::followLutAnswer(bool restate)
{
    // Nothing failed, nothing was said: nothing to follow (the usual case, on every republish).
    if (missingClipLuts_.empty() && !projectLut_.fails() && lutWordsShown_.empty() && !clipLutWords_ &&
        !lutWarning_) {
        return;
    }
    std::string words = missingLutText().value_or("");
    if (!restate && words == lutWordsShown_) {
        return;
    }
    std::string line = status_;
    if (clipLutWords_ && line == clipLutWords_->text && !missingLutOfClip(clipLutWords_->clipId)) {
        line = clipLutWords_->replaced;
        clipLutWords_.reset();
    }
    if (!lutWordsShown_.empty() && line.starts_with(lutWordsShown_ + std::string(kSeparator))) {
        line.erase(0, lutWordsShown_.size() + kSeparator.size());
    }
    if (!words.empty() && line.find(words) == std::string::npos) {
        line = words + std::string(kSeparator) + line;
    }
    lutWordsShown_ = std::move(words);
    if (line != status_) {
        restateStatus(std::move(line));
    }
    // A LUT chosen for a clip and said to be unusable, which the clip's answer now finds grading
    // (its file copied in, the list refreshed): the line says the clip's grade instead.
    if (lutWarning_ && session_) {
        const std::optional<EditSession::Clip> clip = session_->clip(lutWarning_->clipId);
        const std::optional<LutResolution> answer = clip ? knownLut(*lutAnswers(), clip->grade) : std::nullopt;
        if (answer && answer->grades()) {
            dropLutWarning();
        }
    }
}

} // namespace velmora
