#include "platform/media/Asset.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/HeifStill.h"

namespace velmora {

namespace {

bool isStillImageFormat(const AVFormatContext* context)
{
    const std::string name = context->iformat && context->iformat->name ? context->iformat->name : "";
    if (name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0)) {
        return true;
    }
    return false;
}

int clockwiseRotation(const AVStream* stream)
{
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    double degrees = 0;
    if (matrix) {
        // The display matrix gives the counter-clockwise angle of the transformation.
        const double ccw = av_display_rotation_get(matrix);
        if (std::isfinite(ccw)) {
            degrees = -ccw;
        }
    } else if (const AVDictionaryEntry* rotate = av_dict_get(stream->metadata, "rotate", nullptr, 0)) {
        degrees = std::atof(rotate->value);
    }
    long quarter = std::lround(degrees / 90.0) % 4;
    if (quarter < 0) {
        quarter += 4;
    }
    return static_cast<int>(quarter * 90);
}

AffineTransform orientationTransform(int rotation, int width, int height)
{
    switch (rotation) {
    case 90: return {0, 1, -1, 0, static_cast<double>(height), 0};
    case 180: return {-1, 0, 0, -1, static_cast<double>(width), static_cast<double>(height)};
    case 270: return {0, -1, 1, 0, 0, static_cast<double>(width)};
    default: return AffineTransform::identity();
    }
}

double rationalValue(AVRational r)
{
    return (r.num > 0 && r.den > 0) ? av_q2d(r) : 0.0;
}

// A still picture whose size FFmpeg refused (it then reports 0 x 0), or that is larger than the
// editor takes, would only fail (or exhaust memory) when decoded: refuse it when opened.
void refuseUnusableStill(const AssetTrack& picture, const std::filesystem::path& path)
{
    const std::string name = MediaError::quotedName(path);
    if (picture.width <= 0 || picture.height <= 0) {
        std::string message = "The picture of " + name + " cannot be read";
        if (const std::string logged = ffmpeg::takeLastLogMessage(); !logged.empty()) {
            message += " (" + logged + ")";
        }
        throw MediaError::make(MediaError::cannotOpen, message + ".");
    }
    if (std::int64_t{picture.width} * picture.height > Asset::maximumStillPixels) {
        throw MediaError::make(MediaError::pictureTooLarge,
                               "The picture of " + name + " is " + std::to_string(picture.width) + " \u00d7 " +
                                   std::to_string(picture.height) +
                                   " pixels; pictures of more than 256 million pixels (16000 \u00d7 16000) "
                                   "cannot be used.");
    }
}

// The container's start in microseconds: probing sets it; read from a header alone it is the
// earliest start of the audio and video streams, as probing would find it.
std::int64_t containerStart(const AVFormatContext& context)
{
    if (context.start_time != AV_NOPTS_VALUE) {
        return context.start_time;
    }
    std::int64_t earliest = AV_NOPTS_VALUE;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || stream->start_time == AV_NOPTS_VALUE ||
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            continue;
        }
        const std::int64_t start = av_rescale_q(stream->start_time, stream->time_base, AVRational{1, AV_TIME_BASE});
        earliest = earliest == AV_NOPTS_VALUE ? start : std::min(earliest, start);
    }
    return earliest;
}

// Counted for headerReadCount().
std::atomic<std::uint64_t> headerReads{0};

} // namespace

std::uint64_t Asset::headerReadCount()
{
    return headerReads.load(std::memory_order_relaxed);
}

std::shared_ptr<const Asset> Asset::open(const std::filesystem::path& path)
{
    return open(path, true);
}

std::shared_ptr<const Asset> Asset::openFromHeader(const std::filesystem::path& path)
{
    return open(path, false);
}

std::shared_ptr<const Asset> Asset::open(const std::filesystem::path& path, bool probeStreams)
{
    headerReads.fetch_add(1, std::memory_order_relaxed);
    const ffmpeg::FileStart start = ffmpeg::readFileStart(path);
    if (heif::isHeifStart(start.bytes.data(), start.length)) {
        return openHeif(path);
    }
    ffmpeg::InputFormatPtr context = ffmpeg::openInput(path, probeStreams, start);

    std::shared_ptr<Asset> asset(new Asset());
    asset->url_ = path;
    asset->formatName_ = context->iformat && context->iformat->name ? context->iformat->name : "";
    asset->stillImage_ = isStillImageFormat(context.get());
    if (const std::int64_t start = containerStart(*context); start != AV_NOPTS_VALUE && start > 0) {
        asset->startOffsetUs_ = start;
    }
    const MediaTime offset(asset->startOffsetUs_, AV_TIME_BASE);

    MediaTime longestEnd = MediaTime::zero();
    bool anyTrackDuration = false;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            continue; // cover art, not a picture track
        }
        AssetTrack track;
        track.trackID = static_cast<int>(i);
        track.codecName = avcodec_get_name(par->codec_id);
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO: track.mediaType = MediaType::video; break;
        case AVMEDIA_TYPE_AUDIO: track.mediaType = MediaType::audio; break;
        default: track.mediaType = MediaType::other; break;
        }

        MediaTime start = ffmpeg::toMediaTime(stream->start_time, stream->time_base);
        start = start.isNumeric() ? start - offset : MediaTime::zero();
        if (start < MediaTime::zero()) {
            start = MediaTime::zero();
        }
        MediaTime duration = ffmpeg::toMediaTime(stream->duration, stream->time_base);
        if (!duration.isNumeric() || duration < MediaTime::zero()) {
            duration = MediaTime::invalid();
        }

        if (track.mediaType == MediaType::video) {
            track.width = par->width;
            track.height = par->height;
            track.rotationDegrees = clockwiseRotation(stream);
            track.preferredTransform = orientationTransform(track.rotationDegrees, par->width, par->height);
            const auto* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format));
            track.bitDepth = desc ? desc->comp[0].depth : (par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : 0);
            track.colorTags = ffmpeg::tagsOf(par->color_range, par->color_space, par->color_primaries, par->color_trc);
            if (asset->stillImage_) {
                duration = MediaTime::zero();
            } else {
                const double average = rationalValue(stream->avg_frame_rate);
                const double base = rationalValue(stream->r_frame_rate);
                track.nominalFrameRate = average > 0 ? average : base;
                if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
                    track.minFrameDuration = MediaTime(stream->r_frame_rate.den, stream->r_frame_rate.num);
                } else if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
                    track.minFrameDuration = MediaTime(stream->avg_frame_rate.den, stream->avg_frame_rate.num);
                }
            }
        } else if (track.mediaType == MediaType::audio) {
            track.sampleRate = par->sample_rate;
            track.channelCount = par->ch_layout.nb_channels;
        }

        if (duration.isValid()) {
            anyTrackDuration = true;
            longestEnd = std::max(longestEnd, start + duration);
        }
        track.timeRange = MediaTimeRange(start, duration.isValid() ? duration : MediaTime::zero());
        asset->tracks_.push_back(std::move(track));
    }

    if (const AssetTrack* picture = asset->firstTrack(MediaType::video); picture && asset->stillImage_) {
        refuseUnusableStill(*picture, path);
    }
    if (!asset->firstTrack(MediaType::video) && !asset->firstTrack(MediaType::audio)) {
        throw MediaError::make(MediaError::cannotOpen,
                               "\"" + path.string() + "\" holds no audio or video that can be read.");
    }
    if (asset->stillImage_) {
        asset->duration_ = MediaTime::zero();
    } else if (anyTrackDuration) {
        asset->duration_ = longestEnd;
    } else if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        asset->duration_ = MediaTime(context->duration, AV_TIME_BASE);
    }
    // Tracks whose stream gave no duration span the asset.
    for (auto& track : asset->tracks_) {
        if (track.timeRange.duration == MediaTime::zero() && !asset->stillImage_) {
            track.timeRange = MediaTimeRange::fromStartEnd(track.timeRange.start, asset->duration_);
        }
    }
    return asset;
}

std::shared_ptr<const Asset> Asset::openHeif(const std::filesystem::path& path)
{
    const heif::StillInfo info = heif::probe(path);
    AssetTrack picture;
    picture.trackID = 0;
    picture.mediaType = MediaType::video;
    picture.codecName = heif::heifFormatName;
    // libheif hands the picture out as it is displayed: no rotation is left to apply.
    picture.width = info.width;
    picture.height = info.height;
    picture.bitDepth = info.bitDepth;
    picture.colorTags.colorRange = "FullRange";
    picture.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime::zero());
    refuseUnusableStill(picture, path);

    std::shared_ptr<Asset> asset(new Asset());
    asset->url_ = path;
    asset->formatName_ = heif::heifFormatName;
    asset->stillImage_ = true;
    asset->tracks_.push_back(std::move(picture));
    return asset;
}

std::vector<AssetTrack> Asset::tracks(MediaType type) const
{
    std::vector<AssetTrack> result;
    std::copy_if(tracks_.begin(), tracks_.end(), std::back_inserter(result),
                 [type](const AssetTrack& t) { return t.mediaType == type; });
    return result;
}

const AssetTrack* Asset::firstTrack(MediaType type) const
{
    for (const auto& track : tracks_) {
        if (track.mediaType == type) {
            return &track;
        }
    }
    return nullptr;
}

const AssetTrack* Asset::track(int trackID) const
{
    for (const auto& track : tracks_) {
        if (track.trackID == trackID) {
            return &track;
        }
    }
    return nullptr;
}

} // namespace velmora
