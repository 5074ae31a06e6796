// The status line's parts drawn from the engine's answers (the rules of the line: StatusLine).
// Nothing here reads a file: every word comes from an answer the engine already holds.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/ShownText.h"
#include "preview/StatusText.h"

namespace velmora {

void TimelinePreviewEngine::setStatus(std::string status)
{
    statusLine_.write(std::move(status));
}

void TimelinePreviewEngine::refreshStatus()
{
    standing_.reset();
    statusLine_.redraw();
}

void TimelinePreviewEngine::redrawStatus()
{
    statusLine_.redraw();
}

const PreviewStandingWarnings& TimelinePreviewEngine::derivedWarnings() const
{
    const std::pair<const EditSession*, int> derivedFor{session_.get(), timelineRevision_};
    if (!standing_ || standingFor_ != derivedFor) {
        standing_ = deriveStandingWarnings();
        standingFor_ = derivedFor;
    }
    return *standing_;
}

std::vector<std::string> TimelinePreviewEngine::standingWarnings() const
{
    std::vector<std::string> warnings;
    std::optional<std::pair<std::string, std::string>> chosen = chosenLutWords();
    std::optional<std::pair<std::string, std::string>> paused = pausedClipLutWords();
    // The LUT just chosen is the paused clip's too, more often than not: named once, with why.
    if (paused && chosen && paused->first == chosen->first) {
        paused.reset();
    }
    std::set<std::string> saidElsewhere;
    for (const auto* words : {&chosen, &paused}) {
        if (*words) {
            saidElsewhere.insert((*words)->first);
        }
    }
    const PreviewStandingWarnings& derived = derivedWarnings();
    if (std::optional<std::string> luts = derived.lutText(saidElsewhere)) {
        warnings.push_back(std::move(*luts));
    }
    if (derived.unreadableMedia) {
        warnings.push_back(*derived.unreadableMedia);
    }
    if (!derived.standIns.empty()) {
        warnings.push_back(derived.standIns);
    }
    // Shortest first: a line cut short to its width still shows the most names.
    std::stable_sort(warnings.begin(), warnings.end(),
                     [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    // The words of the user's last move and choice follow, as news does.
    for (auto* words : {&paused, &chosen}) {
        if (*words) {
            warnings.push_back(std::move((*words)->second));
        }
    }
    return warnings;
}

std::optional<std::string> TimelinePreviewEngine::missingLutText() const
{
    return derivedWarnings().lutText({});
}

PreviewStandingWarnings TimelinePreviewEngine::deriveStandingWarnings() const
{
    PreviewStandingWarnings derived;
    derived.unreadableMedia = unreadableMediaText();
    if (resolvedFilesHold()) {
        derived.standIns = sourceFiles_.resolved->standIns;
    }
    if ((luts_.missingClipLuts.empty() && !luts_.projectLut.fails()) || !session_) {
        return derived;
    }
    // The current reference of each clip the look-up found failing, in one pass over the clips
    // (the first clip of an id, as EditSession::clip finds it): asking clip by clip would walk
    // the timeline once for every failing clip, quadratic in a project of thousands.
    std::map<std::string_view, std::string> current;
    if (!luts_.missingClipLuts.empty()) {
        for (const EditSession::Timeline& timeline : session_->timelines) {
            for (const EditSession::Clip& clip : timeline.clips) {
                if (luts_.missingClipLuts.contains(clip.id) && !current.contains(clip.id)) {
                    current.emplace(clip.id, ClipGradeEditState::from(clip).lutReference);
                }
            }
        }
    }
    std::set<std::string> seen;
    const auto name = [&](const std::string& lut, bool unusable) {
        if (seen.insert(lut).second) {
            (unusable ? derived.unusableLuts : derived.missingLuts).push_back(lut);
        }
    };
    // The project's own LUT first: every clip without a LUT of its own is exported with it.
    if (luts_.projectLut.fails()) {
        name(luts_.projectLut.name, luts_.projectLut.kind == LutResolution::Kind::unusable);
    }
    for (const auto& [clipId, lut] : luts_.missingClipLuts) {
        const auto reference = current.find(clipId);
        if (reference != current.end() && reference->second == lut.reference) {
            name(lut.name, lut.unusable);
        }
    }
    return derived;
}

std::optional<std::pair<std::string, std::string>> TimelinePreviewEngine::pausedClipLutWords() const
{
    if (!luts_.pausedAt || luts_.pausedNews != statusLine_.newsNumber() || luts_.missingClipLuts.empty()) {
        return std::nullopt;
    }
    const std::optional<EditSession::Clip> clip = clipForPausedGrade(*luts_.pausedAt);
    const std::optional<std::string> name = clip ? missingLutOfClip(clip->id) : std::nullopt;
    if (!name) {
        return std::nullopt;
    }
    const bool unusable = luts_.missingClipLuts.at(clip->id).unusable;
    return std::pair{*name, (unusable ? StatusText::unusableLuts({*name}) : StatusText::missingLuts({*name}))
                                + " — the clip is shown without it"};
}

std::optional<std::pair<std::string, std::string>> TimelinePreviewEngine::chosenLutWords() const
{
    const std::optional<PreviewLutFindings::LutWarning>& chosen = luts_.lutWarning;
    if (!chosen || !session_ || chosen->newsNumber != statusLine_.newsNumber()
        || session_->clipLutReference(chosen->clipId) != chosen->reference) {
        return std::nullopt;
    }
    // The answer every route takes for the clip, as the engine's worker found it; said once known.
    const std::optional<EditSession::Clip> clip = session_->clip(chosen->clipId);
    const std::optional<LutResolution> answer =
        clip ? PreviewLutFindings::knownLut(*lutAnswers(), clip->grade) : std::nullopt;
    if (!answer || !answer->fails()) {
        return std::nullopt;
    }
    std::string why = answer->kind == LutResolution::Kind::missing ? "the file cannot be found" : answer->reason;
    if (why.empty()) {
        why = "it is not usable .cube text";
    }
    return std::pair{answer->name,
                     "LUT " + shownText(answer->name) + " cannot be used: " + why + " — picture left without it"};
}

std::optional<std::string> TimelinePreviewEngine::shownLutWarning() const
{
    std::optional<std::pair<std::string, std::string>> chosen = chosenLutWords();
    if (!chosen) {
        return std::nullopt;
    }
    return std::move(chosen->second);
}

} // namespace velmora
