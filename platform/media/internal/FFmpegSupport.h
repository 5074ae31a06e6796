#pragma once

// Private to the media layer's .cpp files: FFmpeg types never appear in a header that another
// layer includes (FFmpeg is linked PRIVATE to velmora_media, so they could not compile it).

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/image/Image.h"
#include "platform/media/MediaError.h"
#include "platform/media/MediaTime.h"

namespace velmora::ffmpeg {

struct InputFormatDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputFormatDeleter {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct SwrDeleter {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// An FFmpeg option dictionary, freed with its holder.
class Options {
public:
    Options() = default;
    ~Options() { av_dict_free(&dict_); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    void set(const char* key, const std::string& value) { av_dict_set(&dict_, key, value.c_str(), 0); }
    AVDictionary** get() { return &dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

// Routes FFmpeg's log through a callback that prints nothing (the application writes no log)
// and keeps only the last error message, for the text of the error that follows it.
// Idempotent; every entry into FFmpeg in this layer calls it first.
void quietLogging();

// The last error message FFmpeg logged (from any thread), without its trailing newline, and
// forgets it; empty when none was logged since the last call.
std::string takeLastLogMessage();

// FFmpeg's text for an error code.
std::string errorText(int code);

// An error of the media domain: `what` followed by FFmpeg's text for `ffmpegCode` and, in
// parentheses, the last error message FFmpeg logged, when there is one.
Error error(MediaError::Code code, const std::string& what, int ffmpegCode);

FramePtr allocFrame();
PacketPtr allocPacket();

// What the file system says of a file, and its first bytes, read with one opening of it (opening
// a file costs more than reading a few bytes of it; a project names thousands).
struct FileStart {
    bool exists = false;
    // What the path names when it is there but is no regular file (RegularFiles::otherKind):
    // such a path is never handed to FFmpeg, whose opening of a named pipe waits for a writer.
    std::optional<std::string_view> otherKind;
    // Up to 64 bytes; none when the file cannot be opened for reading.
    std::array<unsigned char, 64> bytes{};
    std::size_t length = 0;
};
FileStart readFileStart(const std::filesystem::path& path);

// Opens a media file for demuxing and reads its stream parameters. `probeStreams` runs
// avformat_find_stream_info, which MP4/QuickTime files do not need for decoding: without it, such
// a file is probed only when its header leaves a stream's codec, picture size, sample rate or
// channels, or every duration, unsaid. `start` is what readFileStart gave for the file.
// Throws fileNotFound, cannotOpen for a path that names no regular file ("… is a named pipe, not
// a media file."), or cannotOpen with FFmpeg's text.
InputFormatPtr openInput(const std::filesystem::path& path, bool probeStreams, const FileStart& start);
InputFormatPtr openInput(const std::filesystem::path& path, bool probeStreams);

// Bytes of decoded frames that a decoder's frame threads may hold between them, one frame each:
// a 4K frame still gets a thread per core, a 16000 × 16000 one (384 MB) a single thread.
constexpr std::int64_t kFrameThreadBytes = std::int64_t{512} << 20;

// The threads a decoder of width × height frames of `format` (AV_PIX_FMT_NONE when not yet known;
// `bitsPerSample` then tells 8-bit from deeper 4:2:0) gets on `cores` cores: one per core, but
// no more than keep one frame per thread within kFrameThreadBytes, and at least one.
int threadsForFrames(int width, int height, AVPixelFormat format, int bitsPerSample, int cores);

// A decoder for a stream, opened with `threads` threads (0 = one per usable core, fewer for huge
// frames: see threadsForFrames). A caller that
// uses the frames at no more than neededWidth × neededHeight (0: the full size) gets them from a
// codec that can decode at a reduced size (JPEG's 1/2, 1/4, 1/8) at the smallest such size that
// still covers twice the needed one in both directions: the full-size picture is never made.
// The decoder's `lowres` then says by how many halvings its frames are smaller than the stream's.
CodecContextPtr openDecoder(const AVStream* stream, int threads, int neededWidth = 0, int neededHeight = 0);

// The halvings (at most `maxLowres`) of a width × height picture that keep both sides at least
// twice neededWidth × neededHeight; 0 when either needed side is 0.
int lowresFor(int width, int height, int neededWidth, int neededHeight, int maxLowres);

// pts in `timeBase` as an exact media time (invalid for AV_NOPTS_VALUE).
MediaTime toMediaTime(std::int64_t pts, AVRational timeBase);
// A media time in `timeBase`, rounded to nearest.
std::int64_t fromMediaTime(const MediaTime& time, AVRational timeBase);

// Colour tags of a decoded frame in the platform's attachment names ("VideoRange",
// "ITU_R_709_2", …); untagged properties stay empty.
ImageTags tagsOf(AVColorRange range, AVColorSpace matrix, AVColorPrimaries primaries,
                 AVColorTransferCharacteristic transfer);
AVColorPrimaries primariesFromTag(const std::string& tag);
AVColorTransferCharacteristic transferFromTag(const std::string& tag, std::optional<double> gammaLevel);
AVColorSpace matrixFromTag(const std::string& tag);
AVColorRange rangeFromTag(const std::string& tag);

} // namespace velmora::ffmpeg
