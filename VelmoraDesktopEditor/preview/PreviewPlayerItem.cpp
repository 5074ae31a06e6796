// The preview composition: the player item of the active timeline, the mapping of a clip's
// timeline range to its source, and a clip's gain and fade envelope.

#include "preview/PreviewPlayerItem.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "editing/PreviewFrameTiming.h"
#include "editing/TimelineFrameMap.h"
#include "model/ClipSpeed.h"
#include "model/MediaResolver.h"
#include "model/TimelineTrackKey.h"
#include "platform/media/FrameStart.h"
#include "platform/media/PlayerItem.h"
#include "preview/PreviewSourceMedia.h"
#include "preview/StatusText.h"

namespace velmora::PreviewPlayerItem {

namespace {

// The item's ticks: 1/120000 s holds every frame start of 23.976, 24, 25, 29.97, 30, 50, 59.94
// and 60 fps exactly, so a cut or an in point on the frame grid stays on it. On ticks of 1/600 s
// a frame start of the 1001-based rates moves up to half a tick either way, and the player then
// shows the clip or the source frame before it.
constexpr std::int32_t kTimescale = 120000;
// The timescale of a scaled piece's source length: a thousand ticks of the composition's.
constexpr std::int32_t kFineTimescale = kTimescale * 1000;
constexpr double kMaximumPlayedGain = 4.0;
constexpr double kShortestEnvelopeClip = 0.05;
constexpr double kShortestFade = 0.03;
constexpr double kShortestHold = 0.02;
// Sound plays unscaled within this much of 1. A picture is scaled at any rate but 1: the frame
// rule reads every other rate as it is, and a piece unscaled at 1.0004 reads the frame before the
// rule's a second in.
constexpr double kSpeedTolerance = 0.001;
constexpr double kShortestSpan = 0.000001;
// Pieces of sound this short or shorter are left out.
constexpr double kShortestPiece = 1.0 / 30.0;
// A piece never starts closer than this to the end of its file.
constexpr double kFileEndMargin = 0.05;
constexpr std::size_t kMissingNamesShown = 5;

MediaTime at(double seconds)
{
    return MediaTime::fromSeconds(seconds, kTimescale);
}

MediaTimeRange span(double start, double duration)
{
    return MediaTimeRange(at(start), at(duration));
}

bool isScaled(double speed)
{
    return std::abs(speed - 1.0) > kSpeedTolerance;
}

// The gain a clip plays at: 1 when unset, capped at 4, never below 0.
float playedGain(const EditSession::Clip& clip)
{
    if (!clip.audioLevel) {
        return 1.0f;
    }
    const double level = *clip.audioLevel;
    return level >= kMaximumPlayedGain ? static_cast<float>(kMaximumPlayedGain)
                                       : (level > 0 ? static_cast<float>(level) : 0.0f);
}

double envelopeLength(const EditSession::Clip& clip)
{
    return clip.duration && *clip.duration >= kShortestEnvelopeClip ? *clip.duration : kShortestEnvelopeClip;
}

// Where one piece of media goes on a composition track, in ticks of the composition: the
// source range to insert at `at`, and the length it is scaled to when the clip's speed is not 1.
// The ends are rounded, not the lengths, so that pieces meeting on the timeline meet on the
// track and an insert never lands inside the piece before it.
struct Piece {
    MediaTimeRange source;
    MediaTime at;
    MediaTime length;
    bool scaled = false;

    // The stretch of the track the piece covers once inserted (and scaled).
    MediaTimeRange target() const { return MediaTimeRange(at, scaled ? length : source.duration); }
};

Piece makePiece(double timelineStart, double timelineLength, double sourceStart, double sourceDuration, bool scaled)
{
    Piece piece;
    piece.at = at(timelineStart);
    piece.length = at(timelineStart + timelineLength) - piece.at;
    // The source's start on a timescale a thousand times finer than the composition's: the
    // frame rule's source time, which rounded to the composition's ticks moves a few
    // microseconds, enough to show the frame before or after the rule's where a time falls near
    // a source frame's start.
    piece.source = MediaTimeRange(MediaTime::fromSeconds(sourceStart, kFineTimescale), at(sourceDuration));
    piece.scaled = scaled;
    // Scaled, the source's length is the speed times the length the piece covers once rounded,
    // on that fine timescale too, so that their ratio is the speed itself.
    if (scaled && sourceDuration > 0 && timelineLength > 0) {
        piece.source.duration =
            MediaTime::fromSeconds(piece.length.seconds() * (sourceDuration / timelineLength), kFineTimescale);
    }
    // Unscaled, the piece plays exactly its timeline length, its source for as long: a source a
    // hair longer (a speed within the tolerance of 1, or rounding) must not overlap the next
    // piece, which would push everything after it later, and one a tick shorter would be scaled
    // by a hair, moving the source times read late in the piece by microseconds.
    if (!scaled) {
        piece.source.duration = piece.length;
    }
    return piece;
}

// Keeps a picture piece's source start, rounded onto the fine ticks, on the source frame the rule
// names for the piece's first frame (`shown`, of a source whose frames lie at `rate`): a start
// within the tolerance of a frame's start (or just past the one before's) must not be rounded
// across it, or the player would show the next (or the previous) frame. The shift is below a
// tick.
void holdOnTheRulesFrame(Piece& piece, const ShownFrame& shown, std::optional<double> rate)
{
    if (!shown.sourceFrame || !rate || !(*rate > 0)) {
        return;
    }
    const auto frame = static_cast<double>(*shown.sourceFrame);
    // A tick inside the tolerance's end, where the rounding of a time read later in the piece
    // cannot carry it across.
    const MediaTime latest = MediaTime::fromSeconds(frame / *rate + kFrameStartToleranceSeconds, kFineTimescale,
                                                    MediaTimeRounding::towardNegativeInfinity) -
                             MediaTime(1, kFineTimescale);
    if (latest.isNumeric() && piece.source.start > latest) {
        piece.source.start = latest;
    }
    if (*shown.sourceFrame > 0) {
        // The earliest tick past the previous frame's start and its tolerance.
        const MediaTime earliest = MediaTime::fromSeconds((frame - 1) / *rate + kFrameStartToleranceSeconds,
                                                          kFineTimescale, MediaTimeRounding::towardPositiveInfinity) +
                                   MediaTime(1, kFineTimescale);
        if (earliest.isNumeric() && piece.source.start < earliest && earliest <= latest) {
            piece.source.start = earliest;
        }
    }
}

void insertPiece(CompositionTrack& track, const Piece& piece, const CompositionSourceTrack& source)
{
    track.insertTimeRange(piece.source, source, piece.at);
    if (piece.scaled) {
        track.scaleTimeRange(MediaTimeRange(piece.at, piece.source.duration), piece.length);
    }
}

// Keeps a piece of sound inside its file: it starts no later than 0.05 s before the end and
// reads no further than the end.
void clampToFile(const Asset& asset, double& sourceStart, double& sourceDuration)
{
    const double fileSeconds = asset.durationSeconds();
    if (std::isfinite(fileSeconds) && fileSeconds > 0) {
        sourceStart = std::min(sourceStart, std::max(fileSeconds - kFileEndMargin, 0.0));
        sourceDuration = std::min(sourceDuration, std::max(fileSeconds - sourceStart, 0.0));
    }
}

// The ids of the sources the timeline's clips use, as the session holds them.
std::unordered_set<std::string_view> usedSourceIds(const EditSession::Timeline& timeline)
{
    std::unordered_set<std::string_view> used;
    for (const EditSession::Clip& clip : timeline.clips) {
        if (clip.sourceId) {
            used.insert(*clip.sourceId);
        }
    }
    return used;
}

// The file names of the sources the timeline uses that `pick` selects, in session order.
template <typename Pick>
std::vector<std::string> usedSourceNames(const EditSession& session, const EditSession::Timeline& timeline, Pick pick)
{
    const std::unordered_set<std::string_view> used = usedSourceIds(timeline);
    std::vector<std::string> names;
    for (const EditSession::Source& source : session.sources) {
        if (used.contains(source.id) && pick(source)) {
            names.push_back(source.fileName);
        }
    }
    return names;
}

void throwForMissingMedia(const EditSession& session, const EditSession::Timeline& timeline,
                          const MediaResolver::SourceFileMap& files)
{
    const std::vector<std::string> missing = usedSourceNames(
        session, timeline, [&files](const EditSession::Source& source) { return !files.contains(source.id); });
    if (missing.empty()) {
        return;
    }
    throw Error(previewErrorDomain, mediaNotFoundCode,
                "Media not found for timeline clips: " + StatusText::joinedNames(missing, kMissingNamesShown)
                    + ". Use Media Folder… or relink.");
}

// The layer transform that shows a source track upright, scaled to fill the canvas and centred.
AffineTransform fillTransform(int naturalWidth, int naturalHeight, const AffineTransform& preferred, int renderWidth,
                              int renderHeight)
{
    const Rect shown = preferred.apply(Rect{0, 0, static_cast<double>(naturalWidth), static_cast<double>(naturalHeight)});
    const double w = std::max(std::abs(shown.width), 1.0);
    const double h = std::max(std::abs(shown.height), 1.0);
    const double scale = std::max(renderWidth / w, renderHeight / h);
    return preferred.concatenating(AffineTransform::scale(scale, scale))
        .concatenating(AffineTransform::translation((renderWidth - w * scale) / 2, (renderHeight - h * scale) / 2));
}

// A stretch of the picture track and the source track whose picture plays there (a track of an
// asset the build holds).
struct PictureRun {
    MediaTimeRange range;
    const AssetTrack* source = nullptr;
};

} // namespace

std::optional<SourceMapping> sourceMapping(const EditSession::Clip& clip, double timelineStart, double timelineEnd)
{
    const double start = clip.startTime.value_or(0);
    if (!clip.duration || !(*clip.duration > kShortestSpan)) {
        return std::nullopt;
    }
    const double speed = effectiveClipSpeed(clip.speed);
    const double pieceStart = std::max(timelineStart - start, 0.0);
    const double pieceEnd = std::min(timelineEnd - start, *clip.duration);
    const double length = pieceEnd - pieceStart;
    if (!(length > kShortestSpan)) {
        return std::nullopt;
    }
    // Where the piece starts in its source is the frame rule's source time there.
    return SourceMapping{TimelineFrameMap::sourceTime(ClipTiming::of(clip), pieceStart), speed * length, length};
}

float clipVolumeAtTime(const EditSession::Clip& clip, double timeInClip)
{
    float gain = playedGain(clip);
    const double fadeIn = std::max(clip.fadeIn.value_or(0), 0.0);
    const double fadeOut = std::max(clip.fadeOut.value_or(0), 0.0);
    const double length = envelopeLength(clip);
    if (fadeIn > kShortestFade && timeInClip < fadeIn) {
        gain *= static_cast<float>(timeInClip / fadeIn);
    }
    if (fadeOut > kShortestFade && length - fadeOut < timeInClip) {
        gain *= static_cast<float>(std::max((length - timeInClip) / fadeOut, 0.0));
    }
    return gain;
}

AudioMixInputParameters audioEnvelope(int trackID, const EditSession::Clip& clip, double base)
{
    AudioMixInputParameters parameters(trackID);
    const float gain = playedGain(clip);
    const double fadeIn = std::max(clip.fadeIn.value_or(0), 0.0);
    const double fadeOut = std::max(clip.fadeOut.value_or(0), 0.0);
    const double length = envelopeLength(clip);
    const bool fadesIn = fadeIn > kShortestFade;
    const bool fadesOut = fadeOut > kShortestFade;
    // The gain holds from the clip's start even where no ramp says so (a clip whose fades
    // leave no hold, or none at all): a track without a volume plays at 1.
    parameters.setVolume(gain, at(base));
    if (fadesIn) {
        parameters.setVolumeRamp(0.0f, gain, span(base, std::min(fadeIn, length)));
    }
    if (fadesOut && fadeOut + kShortestFade < length) {
        parameters.setVolumeRamp(gain, 0.0f, span(base + length - fadeOut, fadeOut));
    }
    const double holdStart = base + (fadesIn ? std::min(fadeIn, length) : 0.0);
    const double holdEnd = base + length - (fadesOut ? fadeOut : 0.0);
    if (holdEnd - holdStart > kShortestHold) {
        parameters.setVolumeRamp(gain, gain, span(holdStart, holdEnd - holdStart));
    }
    return parameters;
}

namespace {

// Where the last picture clip ends.
double picturesEnd(const EditSession::Timeline& timeline)
{
    double endTime = 0;
    for (const EditSession::Clip& clip : timeline.clips) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (kind == "video" || kind == "image") {
            endTime = std::max(endTime, clip.startTime.value_or(0) + clip.duration.value_or(0));
        }
    }
    return endTime;
}

// The audio track of a sounding clip under a key, made with the clip's envelope on first use;
// none when the composition can take no more tracks.
using AudioBus = std::function<CompositionTrack*(const std::string& key, const EditSession::Clip& clip)>;

// The timeline's frame rule over the video of the files the build read: the same rule, clips and
// grid the engine's frameMap() holds once the build is installed.
TimelineFrameMap pictureFrameMap(std::vector<ClipTiming> clips, const FrameGrid& grid,
                                 const std::unordered_map<std::string_view, SourceMedia>& media)
{
    std::map<std::string, SourceVideo> sources;
    for (const auto& [sourceId, source] : media) {
        if (source.asset) {
            sources.emplace(std::string(sourceId), SourceVideo::of(*source.asset));
        }
    }
    return TimelineFrameMap(std::move(clips), grid, std::move(sources));
}

// Inserts into `videoTrack` what the frame rule shows on each frame before `endTime`, and each
// clip's own sound with it while the timeline has no audio clips of its own; notes where each
// picture plays. A run of frames on which one clip is on top becomes one piece from the frame
// rule's source time on its first frame, at the clip's speed, up to the frame on which the clip
// has run past its file's end: from there the run is left empty, black, as on every export. A
// piece is never stretched to fill its run.
void insertPictures(const EditSession& session, const EditSession::Timeline& timeline, const TimelineFrameMap& map,
                    const std::vector<FrameRun>& runs, double endTime,
                    const std::unordered_map<std::string_view, SourceMedia>& media, bool hasAudioClips,
                    CompositionTrack& videoTrack, const AudioBus& audioBus,
                    PlayerItemBuild& build, std::vector<PictureRun>& pictures)
{
    const FrameGrid& grid = map.grid();
    for (const FrameRun& run : runs) {
        if (!run.clip) {
            continue;
        }
        const EditSession::Clip& clip = timeline.clips[*run.clip];
        // Image clips are drawn over the player's picture, not inserted.
        if (!clip.sourceId || EditSession::normalizedClipType(clip.type, clip.name) == "image") {
            continue;
        }
        const SourceMedia& source = media.at(*clip.sourceId);
        const AssetTrack* picture = source.picture;
        if (!picture) {
            continue;
        }
        const std::int64_t shownEnd = map.fileEndFrame(*run.clip, run.first, run.end);
        const double timelineStart = std::max(grid.start(run.first), 0.0);
        const double timelineEnd = std::min(grid.start(shownEnd), endTime);
        const double timelineLength = timelineEnd - timelineStart;
        if (!(timelineLength > kShortestSpan)) {
            continue;
        }
        const double speed = effectiveClipSpeed(clip.speed);
        const ShownFrame first = map.clipFrame(*run.clip, run.first);
        Piece piece = makePiece(timelineStart, timelineLength, first.sourceTime, speed * timelineLength, speed != 1.0);
        holdOnTheRulesFrame(piece, first, trackFrameRate(*picture));
        insertPiece(videoTrack, piece, *source.pictureTrack);
        build.transform = picture->preferredTransform;
        if (!build.sourceTrack) {
            build.sourceTrack = *picture;
        }
        pictures.push_back({piece.target(), picture});

        // The clip's own sound, while the timeline has no audio clips of its own.
        const int lane = clip.track.value_or(1);
        if (hasAudioClips || session.isTrackMuted(TimelineTrackKey::video(lane))) {
            continue;
        }
        CompositionTrack* bus = source.sound ? audioBus("embed_" + clip.id, clip) : nullptr;
        if (bus) {
            insertPiece(*bus, piece, *source.soundTrack);
        }
    }
}

// Inserts the audio clips of the timeline's unmuted lanes, each on its own bus.
void insertAudioClips(const EditSession& session, const EditSession::Timeline& timeline,
                      const std::unordered_map<std::string_view, SourceMedia>& media, const AudioBus& audioBus)
{
    std::vector<const EditSession::Clip*> audioClips;
    for (const EditSession::Clip& clip : timeline.clips) {
        if (clip.type == "audio") {
            audioClips.push_back(&clip);
        }
    }
    std::stable_sort(audioClips.begin(), audioClips.end(), [](const EditSession::Clip* a, const EditSession::Clip* b) {
        return a->startTime.value_or(0) < b->startTime.value_or(0);
    });
    for (const EditSession::Clip* audioClip : audioClips) {
        const EditSession::Clip& clip = *audioClip;
        if (!clip.sourceId || session.isTrackMuted(TimelineTrackKey::audio(clip.track.value_or(1)))) {
            continue;
        }
        const SourceMedia& source = media.at(*clip.sourceId);
        const Asset* asset = source.asset;
        CompositionTrack* bus = source.sound ? audioBus(clip.id, clip) : nullptr;
        if (!bus) {
            continue;
        }
        const double start = clip.startTime.value_or(0);
        const auto mapping = sourceMapping(clip, start, start + clip.duration.value_or(0));
        if (!mapping) {
            continue;
        }
        double sourceStart = mapping->sourceStart;
        double sourceDuration = mapping->sourceDuration;
        clampToFile(*asset, sourceStart, sourceDuration);
        if (!(sourceDuration > kShortestPiece)) {
            continue;
        }
        // Sound cut short by its file's end plays at the clip's speed and stops there; it is never
        // stretched over the clip's length.
        const double speed = effectiveClipSpeed(clip.speed);
        const bool scaled = isScaled(speed);
        const double length =
            scaled ? std::min(mapping->timelineDuration, sourceDuration / speed) : mapping->timelineDuration;
        insertPiece(*bus, makePiece(start, length, sourceStart, sourceDuration, scaled), *source.soundTrack);
    }

}

// How the composition's pictures fill the project's canvas, on the engine's frame grid; none for
// an empty composition. `firstSource` sets the fill of the gaps.
std::optional<VideoComposition> videoRecipe(const EditSession& session, const Composition& composition, int trackID,
                                            const std::vector<PictureRun>& pictures,
                                            const std::optional<AssetTrack>& firstSource)
{
    std::optional<VideoComposition> video;
    const MediaTime duration = composition.duration();
    if (duration > MediaTime::zero()) {
        const std::optional<EditSession::Project>& project = session.project;
        VideoComposition recipe;
        recipe.renderWidth = std::max(project ? project->width.value_or(1920) : 1920, 1);
        recipe.renderHeight = std::max(project ? project->height.value_or(1080) : 1080, 1);
        // The engine's grid (frameGrid()): its playhead stands on this item's frame starts, so
        // the frame it names is the frame the item shows.
        const FrameDuration frame = PreviewFrameTiming::pictureGrid(project ? project->fps : std::nullopt).frame;
        recipe.frameDuration = MediaTime(frame.value, frame.timescale);
        // Each piece fills the canvas from its own source's size and rotation, so a 1080p clip
        // and a 4K clip (or a portrait one) all fill it; gaps take the first source's fill.
        // Pieces in a row with the same fill share one instruction, so that a long timeline shot
        // on one camera keeps the player's per-frame lookup short.
        for (const PictureRun& run : pictures) {
            const AffineTransform fill = fillTransform(run.source->width, run.source->height,
                                                       run.source->preferredTransform, recipe.renderWidth,
                                                       recipe.renderHeight);
            VideoComposition::Instruction* last = recipe.instructions.empty() ? nullptr : &recipe.instructions.back();
            if (last && last->layerInstructions.front().transform == fill && last->timeRange.end() == run.range.start) {
                last->timeRange.duration = last->timeRange.duration + run.range.duration;
            } else {
                recipe.instructions.push_back({run.range, {{trackID, fill}}});
            }
        }
        const AffineTransform gapFill =
            firstSource ? fillTransform(firstSource->width, firstSource->height,
                                              firstSource->preferredTransform, recipe.renderWidth,
                                              recipe.renderHeight)
                              : fillTransform(0, 0, AffineTransform::identity(), recipe.renderWidth,
                                              recipe.renderHeight);
        recipe.instructions.push_back({MediaTimeRange(MediaTime::zero(), duration), {{trackID, gapFill}}});
        video = std::move(recipe);
    }

    return video;
}

} // namespace

PlayerItemBuild makePlayerItem(const EditSession& session, const std::filesystem::path& mediaFolder,
                               std::int32_t /*timescale*/, bool /*applyGrade*/,
                               const GradeContextHolder& gradeContextHolder,
                               const MediaResolver::ReadabilityCheck& readable, const FilesFound& filesFound)
{
    const EditSession::Timeline* timeline = session.findActiveTimeline();
    if (!timeline) {
        throw Error(previewErrorDomain, noActiveTimelineCode, "No active timeline in session");
    }
    MediaResolver::SourceFileMap files;
    try {
        files = MediaResolver::sourceFileMap(session, mediaFolder);
    } catch (const Error&) {
        if (filesFound) {
            filesFound(nullptr);
        }
        throw;
    }
    if (filesFound) {
        filesFound(&files);
    }
    throwForMissingMedia(session, *timeline, files);
    PlayerItemBuild build;

    Composition composition;
    CompositionTrack* videoTrack = composition.addMutableTrack(MediaType::video);
    if (!videoTrack) {
        throw Error(previewErrorDomain, compositionTrackCode, "Could not create composition track");
    }
    AudioMix mix;
    AssetCache assets;
    std::vector<PictureRun> pictures;

    const AudioBus audioBus = [&](const std::string& key, const EditSession::Clip& clip) -> CompositionTrack* {
        if (const auto found = build.audioBusByClipId.find(key); found != build.audioBusByClipId.end()) {
            return composition.track(found->second);
        }
        CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
        if (track) {
            build.audioBusByClipId[key] = track->trackID();
            mix.inputParameters.push_back(audioEnvelope(track->trackID(), clip, clip.startTime.value_or(0)));
        }
        return track;
    };

    const double endTime = timeline->duration.value_or(picturesEnd(*timeline));
    const bool hasAudioClips = std::any_of(timeline->clips.begin(), timeline->clips.end(),
                                           [](const EditSession::Clip& clip) { return clip.type == "audio"; });
    // Which clip is on top of each frame depends on the clips alone: found while the files are
    // read. The headers of the files the timeline uses are read, the other sources' files only
    // checked; a source whose file cannot be read is left out as one without media.
    const FrameGrid grid = PreviewFrameTiming::pictureGrid(session.project ? session.project->fps : std::nullopt);
    std::vector<ClipTiming> timings;
    std::vector<FrameRun> runs;
    const auto findRuns = [&] {
        timings.reserve(timeline->clips.size());
        for (const EditSession::Clip& clip : timeline->clips) {
            timings.push_back(ClipTiming::of(clip));
        }
        runs = TimelineFrameMap::runs(timings, grid, 0, TimelineFrameMap::firstFrameAtOrAfter(grid, endTime));
    };
    // The media of each source the clips use: found once, for the tens of thousands of clips
    // that use a few thousand sources.
    const std::unordered_map<std::string_view, SourceMedia> media =
        readSourceMedia(*timeline, files, assets, readable, findRuns, build.unreadableSources);

    const TimelineFrameMap map = pictureFrameMap(std::move(timings), grid, media);
    insertPictures(session, *timeline, map, runs, endTime, media, hasAudioClips, *videoTrack, audioBus, build,
                   pictures);
    insertAudioClips(session, *timeline, media, audioBus);

    // The item lasts as long as the timeline, a gap at its end included, so that playback runs
    // to the timeline's end (where the engine stops it) rather than stopping where the media
    // ends.
    const MediaTime trackEnd = videoTrack->timeRange().end();
    const MediaTime timelineEnd = at(std::max(endTime, 0.0));
    if (timelineEnd > trackEnd) {
        videoTrack->insertEmptyTimeRange(MediaTimeRange::fromStartEnd(trackEnd, timelineEnd));
    }

    std::optional<VideoComposition> video =
        videoRecipe(session, composition, videoTrack->trackID(), pictures, build.sourceTrack);

    std::optional<AudioMix> audioMix;
    if (!mix.inputParameters.empty()) {
        audioMix = std::move(mix);
    }
    build.item = PlayerItem::make(std::move(composition), std::move(audioMix), std::move(video));
    build.sourceFiles = std::move(files);
    build.assets = assets.take();
    if (gradeContextHolder) {
        gradeContextHolder(nullptr);
    }
    return build;
}

} // namespace velmora::PreviewPlayerItem
