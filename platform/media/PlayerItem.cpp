#include "platform/media/PlayerItem.h"

#include <algorithm>
#include <cmath>

#include "platform/media/Asset.h"
#include "platform/media/MediaError.h"

namespace velmora {

namespace {

// Frame durations made from a rate land on whole ticks for the usual rates (1001/30000 s is
// 20020 ticks).
constexpr std::int32_t kFrameTimescale = 600000;

MediaTime frameDurationOf(const AssetTrack& track)
{
    if (std::isfinite(track.nominalFrameRate) && track.nominalFrameRate > 1) {
        return MediaTime::fromSeconds(1.0 / track.nominalFrameRate, kFrameTimescale);
    }
    if (track.minFrameDuration.isNumeric() && track.minFrameDuration > MediaTime::zero()) {
        return track.minFrameDuration;
    }
    return MediaTime(1, 30);
}

// The picture of `trackID` upright at its display size, over the whole item.
VideoComposition uprightComposition(const AssetTrack* source, int trackID, const MediaTime& duration)
{
    VideoComposition video;
    video.renderWidth = source ? std::max(1, source->displayWidth()) : 1920;
    video.renderHeight = source ? std::max(1, source->displayHeight()) : 1080;
    video.frameDuration = source ? frameDurationOf(*source) : MediaTime(1, 30);
    VideoComposition::Instruction instruction;
    instruction.timeRange = MediaTimeRange(MediaTime::zero(), duration);
    instruction.layerInstructions.push_back(
        {trackID, source ? source->preferredTransform : AffineTransform::identity()});
    video.instructions.push_back(std::move(instruction));
    return video;
}

// The first video track with an edit that shows something, and that edit's source.
const CompositionTrack* firstPictureTrack(const Composition& composition, const CompositionTrackSegment** edit)
{
    for (const CompositionTrack* track : composition.tracks(MediaType::video)) {
        for (const CompositionTrackSegment& segment : track->segments()) {
            if (!segment.isEmpty()) {
                *edit = &segment;
                return track;
            }
        }
    }
    return nullptr;
}

} // namespace

PlayerItem::PlayerItem(Composition composition, std::optional<AudioMix> audioMix,
                       std::optional<VideoComposition> videoComposition)
    : composition_(std::move(composition)),
      videoComposition_(std::move(videoComposition)),
      duration_(composition_.duration()),
      audioMix_(std::make_shared<const AudioMix>(audioMix ? std::move(*audioMix) : AudioMix{}))
{
}

std::shared_ptr<PlayerItem> PlayerItem::make(Composition composition, std::optional<AudioMix> audioMix,
                                             std::optional<VideoComposition> videoComposition)
{
    if (videoComposition && !videoComposition->isValid()) {
        throw MediaError::make(MediaError::invalidArgument,
                               "The video composition needs a size of 1 to 16384 pixels a side and a positive "
                               "frame duration.");
    }
    if (!videoComposition) {
        const CompositionTrackSegment* edit = nullptr;
        if (const CompositionTrack* track = firstPictureTrack(composition, &edit)) {
            std::shared_ptr<const Asset> asset;
            try {
                asset = Asset::openFromHeader(edit->source->url.get());
            } catch (const Error&) {
                // Played black where it cannot be read; the size falls back to the default.
            }
            const AssetTrack* source = asset ? asset->track(edit->source->trackID) : nullptr;
            videoComposition = uprightComposition(source, track->trackID(), composition.duration());
        }
    }
    return std::shared_ptr<PlayerItem>(
        new PlayerItem(std::move(composition), std::move(audioMix), std::move(videoComposition)));
}

std::shared_ptr<PlayerItem> PlayerItem::fromFile(const std::filesystem::path& path, FileTracks tracks)
{
    const std::shared_ptr<const Asset> asset = Asset::open(path);
    const AssetTrack* video = tracks == FileTracks::videoAndAudio ? asset->firstTrack(MediaType::video) : nullptr;
    const AssetTrack* audio = asset->firstTrack(MediaType::audio);
    if (!video && !audio) {
        throw MediaError::make(MediaError::noSuchTrack, "\"" + path.filename().string() + "\" has no " +
                                                            (tracks == FileTracks::audioOnly ? "sound." : "picture or sound."));
    }
    Composition composition;
    int pictureTrackID = -1;
    for (const AssetTrack* track : {video, audio}) {
        if (!track || !track->timeRange.isValid() || track->timeRange.isEmpty()) {
            continue;
        }
        CompositionTrack* target = composition.addMutableTrack(track->mediaType);
        target->insertTimeRange(track->timeRange, CompositionSourceTrack::of(*asset, *track), track->timeRange.start);
        if (track == video) {
            pictureTrackID = target->trackID();
        }
    }
    std::optional<VideoComposition> picture;
    if (pictureTrackID >= 0) {
        picture = uprightComposition(video, pictureTrackID, composition.duration());
    }
    return std::shared_ptr<PlayerItem>(new PlayerItem(std::move(composition), std::nullopt, std::move(picture)));
}

std::shared_ptr<const AudioMix> PlayerItem::audioMix() const
{
    std::lock_guard lock(mutex_);
    return audioMix_;
}

void PlayerItem::setAudioMix(AudioMix audioMix)
{
    auto mix = std::make_shared<const AudioMix>(std::move(audioMix));
    std::lock_guard lock(mutex_);
    audioMix_ = std::move(mix);
    ++audioMixGeneration_;
}

void PlayerItem::setPreferredForwardBufferDuration(double seconds)
{
    if (std::isnan(seconds)) {
        return;
    }
    forwardBuffer_ = std::clamp(seconds, 0.0, maximumForwardBufferDuration);
}

std::optional<Error> PlayerItem::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void PlayerItem::recordError(const Error& error, const std::filesystem::path& file)
{
    FailureHandler handler;
    {
        std::lock_guard lock(mutex_);
        if (!error_) {
            error_ = error;
        }
        handler = failureHandler_;
    }
    if (handler && !file.empty()) {
        handler(file, error);
    }
}

void PlayerItem::setFailureHandler(FailureHandler handler)
{
    std::lock_guard lock(mutex_);
    failureHandler_ = std::move(handler);
}

} // namespace velmora
