#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "platform/image/Geometry.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "preview/PreviewCompositionBuilder.h"
#include "preview/TimelineScrubAudio.h"

namespace velmora {

class GradeCompositionContext;
class PlayerItem;

// The preview composition of a session, as the Edit workspace's monitor plays it, and the sound a
// scrub burst plays at an instant: both map a clip's timeline range to its source and play it with
// the clip's gain and fades. Stateless: reads the session only.
namespace PreviewPlayerItem {

// Time scale of every media time the preview composition and its player use.
inline constexpr std::int32_t previewTimescale = 600;
// Errors of the preview composition, domain "preview".
inline constexpr const char* previewErrorDomain = "preview";
inline constexpr int noActiveTimelineCode = 1;
inline constexpr int compositionTrackCode = 2;
inline constexpr int mediaNotFoundCode = 10;

// What makePlayerItem builds: the item over the preview composition, and the facts about
// it that the engine keeps while its player is installed (see PreviewComposition).
struct PlayerItemBuild {
    std::shared_ptr<PlayerItem> item;
    AffineTransform transform;
    std::optional<AssetTrack> sourceTrack;
    std::map<std::string, int> audioBusByClipId;
    // The file of each source, and why those that cannot be read cannot (by source id).
    std::map<std::string, std::filesystem::path> sourceFiles;
    std::map<std::string, std::string> unreadableSources;
    // The files the build read (see PreviewComposition::assets).
    MediaHeaders assets;
};
// Receives the grade context of a build (the preview composition never grades: always none).
using GradeContextHolder = std::function<void(std::shared_ptr<const GradeCompositionContext>)>;

// Where a stretch [timelineStart, timelineEnd) of a clip reads its source media.
struct SourceMapping {
    double sourceStart = 0;      // seconds into the source
    double sourceDuration = 0;   // seconds of source consumed (timeline length × speed)
    double timelineDuration = 0; // seconds on the timeline
};

// The player item of the session's active timeline: its visible video on one track, on each
// frame of TimelinePreviewEngine::frameGrid() the source frame the timeline's frame rule names
// there (TimelineFrameMap over the files the build reads) and nothing, black, where it names a gap; each
// sounding clip on an audio track of its own with its gain and fades, the picture filling
// the project canvas. Reads the session only; runs on any thread. `timescale` and
// `applyGrade` change nothing (the composition is always on 600 and never grades);
// `gradeContextHolder` is called once, with none, when the build succeeds. Throws Error
// "preview" 1 (no active timeline), 2 (no composition track), 10 (media missing), what the
// media resolver throws for the folder, and the media layer's errors of a piece that
// cannot be inserted. A source whose file `readable` (empty: MediaResolver::unreadableReason)
// finds unreadable is left out as one without media and named in unreadableSources;
// `readable` is called on several threads at once. `filesFound` is called once, as soon as
// the sources' files are known (MediaResolver::sourceFileMap, before any is read), with them,
// or with none when the folder gives none (the build then throws what the resolver threw);
// never when the session has no active timeline.
using FilesFound = std::function<void(const MediaResolver::SourceFileMap* files)>;
PlayerItemBuild makePlayerItem(const EditSession& session, const std::filesystem::path& mediaFolder,
                               std::int32_t timescale, bool applyGrade, const GradeContextHolder& gradeContextHolder,
                               const MediaResolver::ReadabilityCheck& readable = {},
                               const FilesFound& filesFound = {});

// What sounds at a timeline instant for a scrub burst: at most two segments (the audio
// clips of the lowest lanes, or the visible video clip's own sound when the timeline has
// no audio clip), read from the sources' files `files` (MediaResolver::sourceFileMap).
std::vector<TimelineScrubAudio::Segment> scrubAudioSegments(const EditSession& session,
                                                            const MediaResolver::SourceFileMap& files,
                                                            double playhead);

// Source range read by a stretch of a clip; none for a clip without a positive duration or
// a stretch outside it.
std::optional<SourceMapping> sourceMapping(const EditSession::Clip& clip, double timelineStart, double timelineEnd);
// The clip's gain with its fades, `timeInClip` seconds after its timeline start.
float clipVolumeAtTime(const EditSession::Clip& clip, double timeInClip);
// The gain and fade envelope of a clip's audio track: a set point at `base` holding the
// clip's gain, its fade ramps and the ramp that holds the gain between them; times are
// timeline seconds from `base` (the clip's start).
AudioMixInputParameters audioEnvelope(int trackID, const EditSession::Clip& clip, double base);

} // namespace PreviewPlayerItem

} // namespace velmora
