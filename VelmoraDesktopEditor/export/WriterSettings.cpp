#include "export/WriterSettings.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/TimelineExportState.h"
#include "model/BitrateLimit.h"

namespace velmora::Exporter {

std::int64_t roundHalfAwayFromZero(double value)
{
    return static_cast<std::int64_t>(std::round(value));
}

VideoOutputSettings makeWriterSettings(int width, int height, double fps, std::optional<std::int64_t> targetBitrate,
                                       const std::string& transferAV, EditorVideoCodec codec)
{
    VideoOutputSettings settings;
    settings.width = width;
    settings.height = height;
    // Keeps the derived numbers defined for a rate the callers should never pass.
    const double rate = std::isfinite(fps) && fps > 0 && fps < 1.0e6 ? fps : 30.0;
    switch (codec) {
    case EditorVideoCodec::hevc10: {
        settings.codec = VideoCodecType::hevc;
        settings.colorProperties = VideoColorProperties{"ITU_R_709_2", transferAV, "ITU_R_709_2"};
        VideoCompressionProperties c;
        c.profileLevel = "HEVC_Main10_AutoLevel";
        c.expectedSourceFrameRate = fps;
        c.allowFrameReordering = false;
        c.maxKeyFrameInterval = static_cast<int>(std::max<std::int64_t>(roundHalfAwayFromZero(2.0 * rate), 1));
        if (targetBitrate) {
            const std::int64_t bitrate = std::clamp<std::int64_t>(*targetBitrate, 1'000'000, 400'000'000);
            c.averageBitRate = bitrate;
            c.dataRateLimits = std::pair<std::int64_t, double>{bitrate / 8, 1.0};
        }
        settings.compressionProperties = c;
        break;
    }
    case EditorVideoCodec::h264: {
        settings.codec = VideoCodecType::h264;
        VideoCompressionProperties c;
        c.profileLevel = "H264_High_AutoLevel";
        c.expectedSourceFrameRate = fps;
        c.allowFrameReordering = false;
        c.h264EntropyMode = "CABAC";
        if (targetBitrate) {
            c.averageBitRate = std::clamp<std::int64_t>(*targetBitrate, 2'000'000, 200'000'000);
        }
        settings.compressionProperties = c;
        break;
    }
    case EditorVideoCodec::proRes422:
        settings.codec = VideoCodecType::proRes422;
        break;
    }
    return settings;
}

VideoOutputSettings makeMain10WriterSettings(int width, int height, double fps,
                                             std::optional<std::int64_t> targetBitrate, const std::string& transferAV)
{
    return makeWriterSettings(width, height, fps, targetBitrate, transferAV, EditorVideoCodec::hevc10);
}

void requireExportableBitrate(std::optional<std::int64_t> bitrateBps)
{
    if (bitrateBps && !BitrateLimit::accepts(*bitrateBps)) {
        throw exportError(TimelineExportCode::invalidBitrate, BitrateLimit::refusalText(*bitrateBps));
    }
}

PixelFormat renderPixelFormat(EditorVideoCodec codec)
{
    switch (codec) {
    case EditorVideoCodec::hevc10: return PixelFormat::p010;
    case EditorVideoCodec::h264: return PixelFormat::nv12;
    case EditorVideoCodec::proRes422: return PixelFormat::p216;
    }
    return PixelFormat::p010;
}

} // namespace velmora::Exporter
