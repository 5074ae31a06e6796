#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace velmora {

// The kind of file a writer makes.
enum class FileType {
    mpeg4,          // .mp4 / .m4v: HEVC and H.264 only
    quickTimeMovie, // .mov: any of the codecs
};

// Video codecs the writer encodes, each with one FFmpeg encoder found by name.
enum class VideoCodecType {
    hevc,      // "libx265", Main 10, yuv420p10le, tagged "hvc1"
    h264,      // "libx264", High, yuv420p
    proRes422, // "prores_ks", profile 422 (standard), yuv422p10le
};

// The encoder a codec is written with ("libx265", "libx264", "prores_ks").
const char* encoderName(VideoCodecType codec);

// Colour tags written into the stream and the container, in the platform's names
// ("ITU_R_709_2", "IEC_sRGB", …).
struct VideoColorProperties {
    std::string colorPrimaries;
    std::string transferFunction;
    std::string yCbCrMatrix;

    bool operator==(const VideoColorProperties&) const = default;
};

// Encoder controls; an absent field leaves the encoder's own choice.
struct VideoCompressionProperties {
    // "HEVC_Main10_AutoLevel" or "H264_High_AutoLevel".
    std::string profileLevel;
    double expectedSourceFrameRate = 0;
    bool allowFrameReordering = true;
    std::optional<int> maxKeyFrameInterval;      // frames
    std::optional<std::string> h264EntropyMode;  // "CABAC" or "CAVLC"
    std::optional<std::int64_t> averageBitRate;  // bits per second
    // At most `first` bytes in any `second` seconds (a rate cap with a buffer of that period).
    std::optional<std::pair<std::int64_t, double>> dataRateLimits;

    bool operator==(const VideoCompressionProperties&) const = default;
};

// What a video writer input is given: the platform's output-settings dictionary as a value.
struct VideoOutputSettings {
    VideoCodecType codec = VideoCodecType::hevc;
    int width = 0;
    int height = 0;
    std::optional<VideoColorProperties> colorProperties;
    std::optional<VideoCompressionProperties> compressionProperties;

    bool operator==(const VideoOutputSettings&) const = default;
};

// AAC with FFmpeg's "aac" encoder.
struct AudioOutputSettings {
    int sampleRate = 48000;
    int channels = 2;
    std::int64_t bitRate = 256000;

    bool operator==(const AudioOutputSettings&) const = default;
};

} // namespace velmora
