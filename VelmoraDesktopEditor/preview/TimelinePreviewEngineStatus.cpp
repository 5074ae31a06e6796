// The status line's LUT words, which follow the LUT answer (the rules of the line: StatusLine).

#include "preview/TimelinePreviewEngine.h"

namespace velmora {

void TimelinePreviewEngine::setStatus(std::string status)
{
    statusLine_.write(std::move(status));
}

void TimelinePreviewEngine::followLutAnswer(bool restate)
{
    // Nothing failed, nothing was said: nothing to follow (the usual case, on every republish).
    if (luts_.missingClipLuts.empty() && !luts_.projectLut.fails() && luts_.lutWordsShown.empty()
        && !luts_.clipLutWords && !luts_.lutWarning) {
        return;
    }
    std::string words = missingLutText().value_or("");
    if (!restate && words == luts_.lutWordsShown) {
        return;
    }
    std::string line = status();
    if (luts_.clipLutWords && line == luts_.clipLutWords->text && !missingLutOfClip(luts_.clipLutWords->clipId)) {
        line = luts_.clipLutWords->replaced;
        luts_.clipLutWords.reset();
    }
    if (!luts_.lutWordsShown.empty() && line.starts_with(luts_.lutWordsShown + std::string(StatusLine::separator))) {
        line.erase(0, luts_.lutWordsShown.size() + StatusLine::separator.size());
    }
    if (!words.empty() && line.find(words) == std::string::npos) {
        line = words + std::string(StatusLine::separator) + line;
    }
    luts_.lutWordsShown = std::move(words);
    if (line != status()) {
        statusLine_.restate(std::move(line));
    }
    // A LUT chosen for a clip and said to be unusable, which the clip's answer now finds grading
    // (its file copied in, the list refreshed): the line says the clip's grade instead.
    if (luts_.lutWarning && session_) {
        const std::optional<EditSession::Clip> clip = session_->clip(luts_.lutWarning->clipId);
        const std::optional<LutResolution> answer =
            clip ? PreviewLutFindings::knownLut(*lutAnswers(), clip->grade) : std::nullopt;
        if (answer && answer->grades()) {
            dropLutWarning();
        }
    }
}

} // namespace velmora
