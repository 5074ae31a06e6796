// Clip-level edits and lookups: fades shared by a link group, finding clips, and the source
// viewer's in and out points written back into a timeline clip.

#include <algorithm>
#include <cmath>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kMinimumSourceSpan = 0.04;

// The last component of a "/"-separated reference, ignoring trailing separators.
std::string lastPathComponent(const std::string& reference)
{
    std::string path = reference;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path == "/") {
        return path;
    }
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool EditSession::setClipFades(const std::string& clipId, std::optional<double> fadeIn, std::optional<double> fadeOut)
{
    const auto location = clipLocation(clipId);
    if (!location) {
        return false;
    }
    Timeline& timeline = timelines[location->timelineIndex];
    Clip& clip = timeline.clips[location->clipIndex];
    const double span = clip.duration && *clip.duration > 0.001 ? *clip.duration : 0.001;
    // A fade that is not a number is ignored rather than stored.
    const auto limited = [span](std::optional<double> fade) -> std::optional<double> {
        if (!fade || std::isnan(*fade)) {
            return std::nullopt;
        }
        return *fade <= 0.0001 ? 0.0 : std::min(*fade, span * 0.5);
    };
    const std::optional<double> newFadeIn = limited(fadeIn);
    const std::optional<double> newFadeOut = limited(fadeOut);
    const auto store = [&](Clip& target) {
        if (newFadeIn) {
            target.fadeIn = newFadeIn;
        }
        if (newFadeOut) {
            target.fadeOut = newFadeOut;
        }
    };
    store(clip);
    const std::string group = trimmedWhitespaceAndNewlines(clip.groupId.value_or(""));
    if (!group.empty()) {
        // Group members get the same values, whatever their own durations.
        for (Clip& member : timeline.clips) {
            if (member.groupId && *member.groupId == group) {
                store(member);
            }
        }
    }
    return true;
}

std::optional<EditSession::Clip> EditSession::partnerVideoClip(const Clip& audio, std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline || !isAudio(audio)) {
        return std::nullopt;
    }
    const std::string stem = mediaStem(audio.name.value_or(""));
    const double audioStart = startOf(audio);
    const double audioEnd = endOf(audio);
    const Clip* best = nullptr;
    double bestOverlap = 0;
    for (const Clip& video : timeline->clips) {
        if (!isVideo(video)) {
            continue;
        }
        const double overlap = std::min(endOf(video), audioEnd) - std::max(audioStart, startOf(video));
        if (!(overlap > 0.05)) {
            continue;
        }
        if (!stem.empty() && mediaStem(video.name.value_or("")) == stem) {
            return video;
        }
        if (!best || overlap > bestOverlap) {
            best = &video;
            bestOverlap = overlap;
        }
    }
    return best ? std::optional<Clip>(*best) : std::nullopt;
}

std::optional<EditSession::Clip> EditSession::clip(const std::string& byId) const
{
    const auto location = clipLocation(byId);
    if (!location) {
        return std::nullopt;
    }
    return timelines[location->timelineIndex].clips[location->clipIndex];
}

std::optional<EditSession::Clip> EditSession::primaryVideoClip(const std::string& forSourceId) const
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return std::nullopt;
    }
    for (const Clip& candidate : timelines[*active].clips) {
        const std::string kind = kindOf(candidate);
        if (candidate.sourceId && *candidate.sourceId == forSourceId && (kind == "video" || kind == "image")) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool EditSession::applySourceTrimToClip(const std::string& clipId, double inPoint, double outPoint,
                                        const std::optional<std::string>& lutFile)
{
    const auto location = clipLocation(clipId);
    if (!location || !isFinite(inPoint) || !isFinite(outPoint)) {
        return false;
    }
    Timeline& timeline = timelines[location->timelineIndex];
    Clip updated = timeline.clips[location->clipIndex];
    const double in = std::max(inPoint, 0.0);
    const double out = outPoint < in + kMinimumSourceSpan ? in + kMinimumSourceSpan : outPoint;
    const double span = out - in;
    updated.duration = span;
    updated.inPoint = in;
    updated.outPoint = out;
    if (lutFile && !lutFile->empty() && *lutFile != "None") {
        EditorJobV2::ClipGrade grade;
        grade.hasLut = true;
        grade.lutFile = *lutFile;
        grade.lutName = lastPathComponent(*lutFile);
        grade.lutStrength = 1.0;
        if (updated.grade) {
            grade.gradeParams = updated.grade->gradeParams;
        }
        updated.grade = std::move(grade);
    }
    timeline.clips[location->clipIndex] = updated;

    if (isVideo(updated)) {
        for (Clip& audio : timeline.clips) {
            if (!isAudio(audio) || !audioMatchesVideo(audio, updated)) {
                continue;
            }
            if (audio.sourceId == updated.sourceId || std::abs(startOf(audio) - startOf(updated)) < 0.05) {
                audio.duration = updated.duration;
                audio.inPoint = updated.inPoint;
                audio.outPoint = updated.outPoint;
            }
        }
    }
    recomputeTimelineDuration();
    return true;
}

} // namespace velmora
