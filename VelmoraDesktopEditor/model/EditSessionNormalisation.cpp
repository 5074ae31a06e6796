// Clip normalisation: kinds, timing, identifiers, sources and the active timeline's duration.

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <unordered_map>

#include "model/ClipSpeed.h"
#include "model/EditSession.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

namespace {

// Neighbouring clips of one source closer than this count as one cut.
constexpr double abuttingGapTolerance = 0.08;
// An in-point this close below the previous clip's end is left alone.
constexpr double inPointTolerance = 0.05;

double nonNegativeOrZero(const std::optional<double>& value)
{
    return (value && *value >= 0) ? *value : 0.0;
}

bool endsWithAny(const std::string& text, std::initializer_list<std::string_view> suffixes)
{
    return std::any_of(suffixes.begin(), suffixes.end(),
        [&](std::string_view suffix) { return StringText::hasSuffix(text, suffix); });
}

} // namespace

std::string EditSession::normalizedClipType(const std::optional<std::string>& type, const std::optional<std::string>& name)
{
    // Nearly every clip already carries its kind as written here: asked of every clip by many
    // queries, that answer costs no trimmed or lower-cased copies.
    if (type) {
        const std::string& written = *type;
        if (written == "video" || written == "audio" || written == "image" || written == "text") {
            return written;
        }
    }
    const std::string t = StringText::lowercased(StringText::trimmed(type.value_or("")));
    if (t == "audio" || t == "sound") {
        return "audio";
    }
    if (t == "video" || t == "text" || t == "image") {
        return t;
    }
    const std::string n = StringText::lowercased(StringText::trimmed(name.value_or("")));
    if (n.find("(audio)") != std::string::npos || endsWithAny(n, {".mp3", ".wav", ".m4a", ".aac"})) {
        return "audio";
    }
    if (endsWithAny(n, {".jpg", ".jpeg", ".png", ".tiff", ".tif", ".heic", ".heif", ".bmp"})) {
        return "image";
    }
    if (!t.empty()) {
        return t;
    }
    return "video";
}

void EditSession::normalizeTiming(Clip& clip)
{
    const double speed = effectiveClipSpeed(clip.speed);
    const double duration = nonNegativeOrZero(clip.duration);
    const double inPoint = nonNegativeOrZero(clip.inPoint);
    clip.duration = duration;
    clip.inPoint = inPoint;
    clip.outPoint = inPoint + duration * speed;
}

bool EditSession::normalizeAllClipTiming()
{
    for (auto& timeline : timelines) {
        for (auto& clip : timeline.clips) {
            normalizeTiming(clip);
        }
    }
    const bool moved = fixAbuttingSameSourceInPoints();
    recomputeTimelineDuration();
    return moved;
}

bool EditSession::fixAbuttingSameSourceInPoints()
{
    bool changed = false;
    for (auto& timeline : timelines) {
        struct Entry {
            std::size_t index;
            double start;
        };
        std::vector<Entry> entries;
        for (std::size_t i = 0; i < timeline.clips.size(); ++i) {
            const Clip& clip = timeline.clips[i];
            if (clip.sourceId && normalizedClipType(clip.type, clip.name) == "video") {
                entries.push_back({i, clip.startTime.value_or(0)});
            }
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.start < b.start; });
        for (std::size_t k = 1; k < entries.size(); ++k) {
            const Clip& previous = timeline.clips[entries[k - 1].index];
            Clip& next = timeline.clips[entries[k].index];
            if (!previous.sourceId || !next.sourceId || *previous.sourceId != *next.sourceId) {
                continue;
            }
            const double previousStart = previous.startTime.value_or(0);
            const double gap = next.startTime.value_or(0) - (previousStart + previous.duration.value_or(0));
            if (gap > abuttingGapTolerance) {
                continue;
            }
            const double previousEnd = previous.outPoint
                ? *previous.outPoint
                : previous.inPoint.value_or(0) + previous.duration.value_or(0) * effectiveClipSpeed(previous.speed);
            if (!(next.inPoint.value_or(0) < previousEnd - inPointTolerance)) {
                continue;
            }
            const double inPoint = std::max(previousEnd, 0.0);
            const double duration = nonNegativeOrZero(next.duration);
            next.inPoint = inPoint;
            next.duration = duration;
            next.outPoint = inPoint + duration * effectiveClipSpeed(next.speed);
            changed = true;
        }
    }
    return changed;
}

void EditSession::recomputeTimelineDuration()
{
    const auto index = activeTimelineIndex();
    if (!index) {
        return;
    }
    Timeline& timeline = timelines[*index];
    double end = 0;
    for (const auto& clip : timeline.clips) {
        const std::string kind = normalizedClipType(clip.type, clip.name);
        if (kind == "video" || kind == "image") {
            end = std::max(end, clip.startTime.value_or(0) + clip.duration.value_or(0));
        }
    }
    timeline.duration = end;
}

void EditSession::normalizeClipIds()
{
    // The ids kept so far, as the clips hold them (the clips do not move meanwhile).
    std::unordered_set<std::string_view> used;
    for (std::size_t t = 0; t < timelines.size(); ++t) {
        auto& clips = timelines[t].clips;
        for (std::size_t c = 0; c < clips.size(); ++c) {
            std::string& id = clips[c].id;
            if (id.empty()) {
                id = "clip_" + std::to_string(t) + "_" + std::to_string(c);
            }
            if (used.contains(id)) {
                // Retry until unused: a generated suffix may in principle collide with an id that
                // a document already carries.
                const std::string base = id;
                do {
                    id = base + "_" + Uuid::randomText().substr(0, 8);
                } while (used.contains(id));
            }
            used.insert(id);
        }
    }
}

void EditSession::syncSourcesFromTimelines()
{
    std::vector<Source> result;
    std::unordered_map<std::string, std::size_t> positionById;
    for (const auto& source : sources) {
        if (const auto it = positionById.find(source.id); it != positionById.end()) {
            result[it->second] = source;
        } else {
            positionById.emplace(source.id, result.size());
            result.push_back(source);
        }
    }
    for (const auto& timeline : timelines) {
        for (const auto& clip : timeline.clips) {
            if (!clip.sourceId) {
                continue;
            }
            std::string id = StringText::trimmed(*clip.sourceId);
            if (id.empty() || positionById.count(id) != 0) {
                continue;
            }
            std::string fileName = clip.name.value_or("media.mov");
            if (StringText::containsIgnoringCase(fileName, " (audio)")) {
                fileName = StringText::removingAllIgnoringCase(fileName, " (audio)");
            }
            std::string type = normalizedClipType(clip.type, clip.name);
            if (type == "audio") {
                type = "video";
            }
            positionById.emplace(id, result.size());
            result.emplace_back(std::move(id), std::move(fileName), std::move(type));
        }
    }
    sources = std::move(result);
}

void EditSession::rebuildSourcesFromClipsIfNeeded()
{
    if (sources.empty()) {
        syncSourcesFromTimelines();
    }
}

} // namespace velmora
