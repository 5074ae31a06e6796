#include "export/TimelineAudioMix.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "export/SourceTiming.h"
#include "model/ClipSpeed.h"
#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"

namespace velmora::Exporter {

namespace {

constexpr double kUnitySpeedTolerance = 0.0001;

double valueOr(const std::optional<double>& value, double fallback)
{
    return value && std::isfinite(*value) ? *value : fallback;
}

// Opens each file once per build. A file that cannot be opened throws the media layer's error,
// which names it: a movie with a silent stretch where the file's sound belongs is not an export
// that succeeded.
class AssetCache {
public:
    const Asset* open(const std::filesystem::path& path)
    {
        auto found = assets_.find(path);
        if (found == assets_.end()) {
            found = assets_.emplace(path, Asset::open(path)).first;
        }
        return found->second.get();
    }

private:
    std::map<std::filesystem::path, std::shared_ptr<const Asset>> assets_;
};

// Each lane's composition tracks, with the mix parameters of each track. A clip goes on the
// first track of its lane that is free at its start, so clips that overlap within a lane
// each keep their own timeline position instead of being pushed later by the insertion.
class LaneTracks {
public:
    explicit LaneTracks(Composition& composition) : composition_(composition) {}

    CompositionTrack& trackFor(int lane, const MediaTime& start)
    {
        std::vector<int>& ids = lanes_[lane];
        for (const int id : ids) {
            CompositionTrack* track = composition_.track(id);
            if (track && track->timeRange().end() <= start) {
                return *track;
            }
        }
        CompositionTrack* created = composition_.addMutableTrack(MediaType::audio);
        if (!created) {
            throw Error("export", 242, "Failed to create audio track");
        }
        ids.push_back(created->trackID());
        parameters_.emplace(created->trackID(), AudioMixInputParameters(created->trackID()));
        return *created;
    }

    AudioMixInputParameters& parameters(int trackID) { return parameters_.at(trackID); }

    // The parameter sets lane by lane, in the order their tracks were made.
    AudioMix audioMix() const
    {
        AudioMix mix;
        for (const auto& [lane, ids] : lanes_) {
            for (const int id : ids) {
                mix.inputParameters.push_back(parameters_.at(id));
            }
        }
        return mix;
    }

private:
    Composition& composition_;
    std::map<int, std::vector<int>> lanes_;
    std::map<int, AudioMixInputParameters> parameters_;
};

// The clip's fades as volume ramps over its timeline span. A fade longer than the clip covers
// the whole clip; when fade in and fade out overlap, the level follows the lower of the two,
// rising to where they cross and falling from there.
void setFades(AudioMixInputParameters& parameters, double start, double duration, double fadeIn, double fadeOut,
              std::int32_t timescale)
{
    auto at = [timescale](double seconds) { return MediaTime::fromSeconds(seconds, timescale); };
    const double in = fadeIn > 0 ? std::min(fadeIn, duration) : 0.0;
    const double out = fadeOut > 0 ? std::min(fadeOut, duration) : 0.0;
    if (in > 0 && out > 0 && in + out > duration) {
        const double cross = in * duration / (in + out);
        const auto peak = static_cast<float>(duration / (in + out));
        parameters.setVolumeRamp(0.0f, peak, MediaTimeRange(at(start), at(cross)));
        parameters.setVolumeRamp(peak, 0.0f, MediaTimeRange(at(start + cross), at(duration - cross)));
        return;
    }
    if (in > 0) {
        parameters.setVolumeRamp(0.0f, 1.0f, MediaTimeRange(at(start), at(in)));
    } else {
        parameters.setVolume(1.0f, at(start));
    }
    if (out > 0) {
        parameters.setVolumeRamp(1.0f, 0.0f, MediaTimeRange(at(start + duration - out), at(out)));
    }
}

} // namespace

bool isMixedAudioClip(const EditorJobV2::Clip& clip)
{
    return clip.sourceId && clip.type && *clip.type == "audio";
}

std::optional<TimelineAudioMix> makeTimelineAudioMix(const std::vector<EditorJobV2::Clip>& clips,
                                                     const SourceFileLookup& sourceFile,
                                                     std::int32_t videoTimescale)
{
    const std::int32_t timescale = std::max<std::int32_t>(videoTimescale, 1);
    auto at = [timescale](double seconds) { return MediaTime::fromSeconds(seconds, timescale); };

    // Start order: the composition inserts and shifts, so a clip placed before one already on
    // its track would push that one later.
    std::vector<const EditorJobV2::Clip*> audioClips;
    for (const EditorJobV2::Clip& clip : clips) {
        if (isMixedAudioClip(clip)) {
            audioClips.push_back(&clip);
        }
    }
    std::stable_sort(audioClips.begin(), audioClips.end(), [](const auto* a, const auto* b) {
        return valueOr(a->startTime, 0) < valueOr(b->startTime, 0);
    });

    TimelineAudioMix result;
    LaneTracks lanes(result.composition);
    AssetCache assets;
    bool placedAny = false;

    for (const EditorJobV2::Clip* clip : audioClips) {
        const std::filesystem::path* file = sourceFile ? sourceFile(*clip->sourceId) : nullptr;
        if (!file) {
            continue;
        }
        const Asset* asset = assets.open(*file);
        const AssetTrack* sourceTrack = asset ? asset->firstTrack(MediaType::audio) : nullptr;
        if (!sourceTrack) {
            continue;
        }
        const double start = valueOr(clip->startTime, 0);
        const double duration = valueOr(clip->duration, 0);
        if (!(duration > 0)) {
            continue;
        }
        double inPoint = std::max(valueOr(clip->inPoint, 0), 0.0);
        const double factor = effectiveClipSpeed(clip->speed);
        const bool rampedSpeed = clip->speedKeyframes && !clip->speedKeyframes->empty();
        const bool scaled = !rampedSpeed && std::fabs(factor - 1.0) > kUnitySpeedTolerance;

        const double fullSpan = std::max(duration * factor, 0.0);
        const double assetSeconds = asset->durationSeconds();
        const std::optional<double> assetDuration =
            std::isfinite(assetSeconds) && assetSeconds > 0 ? std::optional<double>(assetSeconds) : std::nullopt;
        const double sourceEnd = effectiveSourceOutPoint(inPoint, clip->outPoint, duration,
                                                         clip->speed ? *clip->speed : 1.0, assetDuration);
        double sourceSpan = std::max(std::min(fullSpan, sourceEnd - inPoint), 0.0);
        if (rampedSpeed) {
            // Played at normal speed; it must not run on past its clip.
            sourceSpan = std::min(sourceSpan, duration);
        }
        // Source seconds per timeline second. A scaled clip whose source ends early keeps its
        // speed and falls silent at the source's end rather than slowing down to fill the clip.
        const double rate = scaled ? factor : 1.0;
        const bool cutShort = sourceSpan < fullSpan - 1e-9;
        double length = scaled && !cutShort ? duration : sourceSpan / rate;
        double placeAt = start;
        if (start < 0) {
            // Only the part after the timeline's start can sound.
            const double lead = -start;
            if (lead >= length) {
                continue;
            }
            inPoint += lead * rate;
            sourceSpan -= lead * rate;
            length -= lead;
            placeAt = 0;
        }
        const MediaTime startTime = at(placeAt);
        const MediaTime span = at(sourceSpan);
        const MediaTime timelineLength = at(length);
        if (span <= MediaTime::zero() || timelineLength <= MediaTime::zero()) {
            continue;
        }

        CompositionTrack& track = lanes.trackFor(clip->track.value_or(1), startTime);
        track.insertTimeRange(MediaTimeRange(at(inPoint), span), CompositionSourceTrack::of(*asset, *sourceTrack),
                              startTime);
        if (scaled) {
            track.scaleTimeRange(MediaTimeRange(startTime, span), timelineLength);
        }
        setFades(lanes.parameters(track.trackID()), start, duration, valueOr(clip->fadeIn, 0),
                 valueOr(clip->fadeOut, 0), timescale);
        placedAny = true;
    }

    if (!placedAny) {
        return std::nullopt;
    }
    result.audioMix = lanes.audioMix();
    return result;
}

std::optional<TimelineAudioMix> makeTimelineAudioMix(const std::vector<EditorJobV2::Clip>& clips,
                                                     const std::map<std::string, std::filesystem::path>& sourceFiles,
                                                     std::int32_t videoTimescale)
{
    return makeTimelineAudioMix(
        clips,
        [&sourceFiles](const std::string& id) -> const std::filesystem::path* {
            const auto found = sourceFiles.find(id);
            return found == sourceFiles.end() ? nullptr : &found->second;
        },
        videoTimescale);
}

std::optional<TimelineAudioMix> makeTimelineAudioMix(
    const std::vector<EditorJobV2::Clip>& clips,
    const std::unordered_map<std::string, std::filesystem::path>& sourceFiles, std::int32_t videoTimescale)
{
    return makeTimelineAudioMix(
        clips,
        [&sourceFiles](const std::string& id) -> const std::filesystem::path* {
            const auto found = sourceFiles.find(id);
            return found == sourceFiles.end() ? nullptr : &found->second;
        },
        videoTimescale);
}

} // namespace velmora::Exporter
