#include "platform/media/internal/FFmpegSupport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/media/internal/PngStill.h"

namespace velmora::ffmpeg {

namespace {

// FFmpeg logs from the caller's thread and from its own worker threads.
std::mutex logMutex;
std::string lastLogMessage;

void keepLastError(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[1024];
    int printPrefix = 0; // the message alone, without "[decoder @ 0x…]"
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(context, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    std::string_view text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return;
    }
    const std::lock_guard lock(logMutex);
    lastLogMessage.assign(text);
}

} // namespace

void quietLogging()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(keepLastError);
    });
}

namespace {
// Also installed when the program starts, for FFmpeg calls that open no file (scaling,
// resampling) made before any file was opened.
[[maybe_unused]] const bool loggingRouted = (quietLogging(), true);
} // namespace

std::string takeLastLogMessage()
{
    const std::lock_guard lock(logMutex);
    return std::exchange(lastLogMessage, std::string());
}

std::string errorText(int code)
{
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, buffer, sizeof buffer) < 0) {
        return "FFmpeg error " + std::to_string(code);
    }
    return buffer;
}

Error error(MediaError::Code code, const std::string& what, int ffmpegCode)
{
    std::string message = what + ": " + errorText(ffmpegCode);
    if (const std::string logged = takeLastLogMessage(); !logged.empty()) {
        message += " (" + logged + ")";
    }
    return MediaError::make(code, message);
}

FramePtr allocFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        throw std::bad_alloc();
    }
    return frame;
}

PacketPtr allocPacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw std::bad_alloc();
    }
    return packet;
}

namespace {

// Whether the header alone says what each audio and video stream is: its codec, a picture's
// size, a sound's rate and channels, and how long some stream (or the file) lasts. What it leaves
// out is only learnt by probing.
bool headerDescribesStreams(const AVFormatContext& context)
{
    bool anyDuration = context.duration != AV_NOPTS_VALUE && context.duration > 0;
    bool anyStream = false;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            continue;
        }
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0 || par->height <= 0) {
                return false;
            }
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0) {
                return false;
            }
        } else {
            continue;
        }
        anyStream = true;
        anyDuration = anyDuration || (stream->duration != AV_NOPTS_VALUE && stream->duration > 0);
    }
    return anyStream && anyDuration;
}

// The QuickTime demuxer when the file's extension names an MP4 or QuickTime file and its first
// box is one such a file starts with; none otherwise. Probing runs every demuxer's test over the
// file's first bytes, which costs as much as reading a small MP4's whole header.
const AVInputFormat* quickTimeFormatNamedBy(const std::filesystem::path& path, const FileStart& start)
{
    static constexpr std::array<std::string_view, 7> extensions = {".mp4", ".mov", ".m4v", ".m4a", ".3gp", ".3g2", ".mj2"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end() || start.length < 8) {
        return nullptr;
    }
    static constexpr std::array<std::string_view, 8> firstBoxes = {"ftyp", "moov", "mdat", "free",
                                                                   "wide", "skip", "pnot", "uuid"};
    const std::string_view type(reinterpret_cast<const char*>(start.bytes.data()) + 4, 4);
    if (std::find(firstBoxes.begin(), firstBoxes.end(), type) == firstBoxes.end()) {
        return nullptr;
    }
    return av_find_input_format("mov");
}

} // namespace

FileStart readFileStart(const std::filesystem::path& path)
{
    FileStart start;
    // Not blocking: a pipe answers with no bytes rather than waiting for a writer.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        // Perhaps there, but not to be read: the file system says whether it is.
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        start.exists = !ec && std::filesystem::exists(status);
        if (start.exists && !std::filesystem::is_regular_file(status)) {
            struct stat mode {};
            start.otherKind = RegularFiles::otherKind(::stat(path.c_str(), &mode) == 0 ? mode.st_mode : 0u);
        }
        return start;
    }
    struct stat status {};
    start.exists = true;
    if (::fstat(descriptor, &status) == 0) {
        start.otherKind = RegularFiles::otherKind(status.st_mode);
    }
    while (!start.otherKind && start.length < start.bytes.size()) {
        const ssize_t count = ::read(descriptor, start.bytes.data() + start.length, start.bytes.size() - start.length);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        start.length += static_cast<std::size_t>(count);
    }
    ::close(descriptor);
    return start;
}

InputFormatPtr openInput(const std::filesystem::path& path, bool probeStreams)
{
    return openInput(path, probeStreams, readFileStart(path));
}

InputFormatPtr openInput(const std::filesystem::path& path, bool probeStreams, const FileStart& start)
{
    quietLogging();
    takeLastLogMessage(); // a message logged before this file was opened says nothing about it
    if (!start.exists) {
        throw MediaError::make(MediaError::fileNotFound, "The file \"" + path.string() + "\" does not exist.");
    }
    if (start.otherKind) {
        throw MediaError::make(MediaError::cannotOpen,
                               "\"" + path.string() + "\" is " + std::string(*start.otherKind) + ", not a media file.");
    }
    AVFormatContext* raw = nullptr;
    int rc = -1;
    // A file that its named demuxer refuses after all is probed like any other.
    if (const AVInputFormat* named = quickTimeFormatNamedBy(path, start)) {
        rc = avformat_open_input(&raw, path.c_str(), named, nullptr);
    }
    if (rc < 0) {
        takeLastLogMessage(); // the named demuxer's complaint says nothing about the file's real format
        rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    }
    if (rc < 0) {
        throw error(MediaError::cannotOpen, "Cannot open \"" + path.string() + "\"", rc);
    }
    InputFormatPtr context(raw);
    const std::string formatName = context->iformat && context->iformat->name ? context->iformat->name : "";
    // A PNG's size and sample format stand in its header: given them, probing reads the file
    // without decoding a picture that may be hundreds of megabytes. A size FFmpeg refuses is
    // left for its decoder to report.
    if (context->nb_streams == 1 && context->streams[0]->codecpar->codec_id == AV_CODEC_ID_PNG &&
        context->streams[0]->codecpar->width == 0) {
        if (const std::optional<png::Header> header = png::readHeader(path);
            header && av_image_check_size(static_cast<unsigned>(header->width), static_cast<unsigned>(header->height),
                                          0, nullptr) == 0) {
            AVCodecParameters* parameters = context->streams[0]->codecpar;
            parameters->width = header->width;
            parameters->height = header->height;
            parameters->format = png::decoderPixelFormat(*header);
        }
    }
    // MP4 and QuickTime carry every parameter a decoder needs in their header; probing would
    // decode frames of every stream for nothing. A header that lacks some is probed all the same.
    if (probeStreams || formatName.find("mov") == std::string::npos || !headerDescribesStreams(*context)) {
        const int info = avformat_find_stream_info(context.get(), nullptr);
        if (info < 0) {
            throw error(MediaError::cannotOpen, "Cannot read the streams of \"" + path.string() + "\"", info);
        }
    }
    return context;
}

int lowresFor(int width, int height, int neededWidth, int neededHeight, int maxLowres)
{
    if (width <= 0 || height <= 0 || neededWidth <= 0 || neededHeight <= 0) {
        return 0;
    }
    int shift = 0;
    const auto halved = [](int side, int times) { return (side + (1 << times) - 1) >> times; };
    while (shift < maxLowres && halved(width, shift + 1) >= 2 * static_cast<std::int64_t>(neededWidth) &&
           halved(height, shift + 1) >= 2 * static_cast<std::int64_t>(neededHeight)) {
        ++shift;
    }
    return shift;
}

int threadsForFrames(int width, int height, AVPixelFormat format, int bitsPerSample, int cores)
{
    cores = std::max(cores, 1);
    if (width <= 0 || height <= 0) {
        return cores;
    }
    std::int64_t frameBytes = format != AV_PIX_FMT_NONE ? av_image_get_buffer_size(format, width, height, 1) : -1;
    if (frameBytes <= 0) {
        // Not said before decoding (MP4 headers leave it out): taken as 4:2:0, in 16-bit words
        // when deeper than 8 bits.
        frameBytes = std::int64_t{width} * height * 3 / 2 * (bitsPerSample > 8 ? 2 : 1);
    }
    const std::int64_t fitting = kFrameThreadBytes / std::max<std::int64_t>(frameBytes, 1);
    return static_cast<int>(std::clamp<std::int64_t>(fitting, 1, cores));
}

CodecContextPtr openDecoder(const AVStream* stream, int threads, int neededWidth, int neededHeight)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        throw MediaError::make(MediaError::decodeFailed,
                               std::string("No decoder for ") + avcodec_get_name(stream->codecpar->codec_id) + ".");
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        throw std::bad_alloc();
    }
    int rc = avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (rc < 0) {
        throw error(MediaError::decodeFailed, "Cannot set up the decoder", rc);
    }
    context->pkt_timebase = stream->time_base;
    context->lowres = lowresFor(stream->codecpar->width, stream->codecpar->height, neededWidth, neededHeight,
                                codec->max_lowres);
    // One thread per usable core by default (FFmpeg's own choice adds one more frame thread),
    // fewer for frames so large that every frame thread holding one of its own would take more
    // than kFrameThreadBytes.
    if (threads > 0) {
        context->thread_count = threads;
    } else {
        const auto reduced = [&](int side) { return (side + (1 << context->lowres) - 1) >> context->lowres; };
        const AVCodecParameters* par = stream->codecpar;
        context->thread_count = threadsForFrames(reduced(par->width), reduced(par->height),
                                                 static_cast<AVPixelFormat>(par->format), par->bits_per_raw_sample,
                                                 static_cast<int>(usableCoreCount()));
    }
    if (codec->capabilities & (AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS)) {
        context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    rc = avcodec_open2(context.get(), codec, nullptr);
    if (rc < 0) {
        throw error(MediaError::decodeFailed, std::string("Cannot open the ") + codec->name + " decoder", rc);
    }
    return context;
}

MediaTime toMediaTime(std::int64_t pts, AVRational timeBase)
{
    if (pts == AV_NOPTS_VALUE || timeBase.den <= 0 || timeBase.num <= 0) {
        return MediaTime::invalid();
    }
    if (timeBase.num == 1) {
        return MediaTime(pts, timeBase.den);
    }
    // value × num / den: keep it exact on the timescale den when it fits.
    __extension__ typedef __int128 Int128;
    const Int128 scaled = Int128(pts) * timeBase.num;
    if (scaled > INT64_MAX || scaled < INT64_MIN) {
        return MediaTime::fromSeconds(static_cast<double>(pts) * av_q2d(timeBase), timeBase.den);
    }
    return MediaTime(static_cast<std::int64_t>(scaled), timeBase.den);
}

std::int64_t fromMediaTime(const MediaTime& time, AVRational timeBase)
{
    if (!time.isNumeric()) {
        return time.isNegativeInfinity() ? INT64_MIN + 1 : (time.isValid() ? INT64_MAX : AV_NOPTS_VALUE);
    }
    return av_rescale_q_rnd(time.value(), AVRational{1, time.timescale()}, timeBase,
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

ImageTags tagsOf(AVColorRange range, AVColorSpace matrix, AVColorPrimaries primaries,
                 AVColorTransferCharacteristic transfer)
{
    ImageTags tags;
    switch (range) {
    case AVCOL_RANGE_MPEG: tags.colorRange = "VideoRange"; break;
    case AVCOL_RANGE_JPEG: tags.colorRange = "FullRange"; break;
    default: break;
    }
    switch (matrix) {
    case AVCOL_SPC_BT709: tags.yCbCrMatrix = "ITU_R_709_2"; break;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: tags.yCbCrMatrix = "ITU_R_601_4"; break;
    case AVCOL_SPC_SMPTE240M: tags.yCbCrMatrix = "SMPTE_240M_1995"; break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: tags.yCbCrMatrix = "ITU_R_2020"; break;
    default: break;
    }
    switch (primaries) {
    case AVCOL_PRI_BT709: tags.colorPrimaries = "ITU_R_709_2"; break;
    case AVCOL_PRI_BT470BG: tags.colorPrimaries = "EBU_3213"; break;
    case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE240M: tags.colorPrimaries = "SMPTE_C"; break;
    case AVCOL_PRI_BT2020: tags.colorPrimaries = "ITU_R_2020"; break;
    case AVCOL_PRI_SMPTE431: tags.colorPrimaries = "DCI_P3"; break;
    case AVCOL_PRI_SMPTE432: tags.colorPrimaries = "P3_D65"; break;
    default: break;
    }
    switch (transfer) {
    case AVCOL_TRC_BT709:
    case AVCOL_TRC_SMPTE170M: tags.transferFunction = "ITU_R_709_2"; break;
    case AVCOL_TRC_SMPTE240M: tags.transferFunction = "SMPTE_240M_1995"; break;
    case AVCOL_TRC_IEC61966_2_1: tags.transferFunction = "IEC_sRGB"; break;
    case AVCOL_TRC_BT2020_10:
    case AVCOL_TRC_BT2020_12: tags.transferFunction = "ITU_R_2020"; break;
    case AVCOL_TRC_SMPTEST2084: tags.transferFunction = "SMPTE_ST_2084_PQ"; break;
    case AVCOL_TRC_ARIB_STD_B67: tags.transferFunction = "ITU_R_2100_HLG"; break;
    case AVCOL_TRC_LINEAR: tags.transferFunction = "Linear"; break;
    case AVCOL_TRC_GAMMA22:
        tags.transferFunction = "UseGamma";
        tags.gammaLevel = 2.2;
        break;
    case AVCOL_TRC_GAMMA28:
        tags.transferFunction = "UseGamma";
        tags.gammaLevel = 2.8;
        break;
    default: break;
    }
    return tags;
}

AVColorPrimaries primariesFromTag(const std::string& tag)
{
    if (tag == "ITU_R_709_2") return AVCOL_PRI_BT709;
    if (tag == "EBU_3213") return AVCOL_PRI_BT470BG;
    if (tag == "SMPTE_C") return AVCOL_PRI_SMPTE170M;
    if (tag == "ITU_R_2020") return AVCOL_PRI_BT2020;
    if (tag == "DCI_P3") return AVCOL_PRI_SMPTE431;
    if (tag == "P3_D65") return AVCOL_PRI_SMPTE432;
    return AVCOL_PRI_UNSPECIFIED;
}

AVColorTransferCharacteristic transferFromTag(const std::string& tag, std::optional<double> gammaLevel)
{
    if (tag == "ITU_R_709_2") return AVCOL_TRC_BT709;
    if (tag == "IEC_sRGB" || tag == "sRGB" || tag == "IEC61966-2-1") return AVCOL_TRC_IEC61966_2_1;
    if (tag == "SMPTE_240M_1995") return AVCOL_TRC_SMPTE240M;
    if (tag == "ITU_R_2020") return AVCOL_TRC_BT2020_10;
    if (tag == "SMPTE_ST_2084_PQ") return AVCOL_TRC_SMPTEST2084;
    if (tag == "ITU_R_2100_HLG") return AVCOL_TRC_ARIB_STD_B67;
    if (tag == "Linear") return AVCOL_TRC_LINEAR;
    if (tag == "UseGamma" && gammaLevel) {
        if (std::fabs(*gammaLevel - 2.2) < 1e-6) return AVCOL_TRC_GAMMA22;
        if (std::fabs(*gammaLevel - 2.8) < 1e-6) return AVCOL_TRC_GAMMA28;
    }
    return AVCOL_TRC_UNSPECIFIED;
}

AVColorSpace matrixFromTag(const std::string& tag)
{
    if (tag == "ITU_R_709_2") return AVCOL_SPC_BT709;
    if (tag == "ITU_R_601_4") return AVCOL_SPC_SMPTE170M;
    if (tag == "SMPTE_240M_1995") return AVCOL_SPC_SMPTE240M;
    if (tag == "ITU_R_2020") return AVCOL_SPC_BT2020_NCL;
    return AVCOL_SPC_UNSPECIFIED;
}

AVColorRange rangeFromTag(const std::string& tag)
{
    if (tag == "VideoRange") return AVCOL_RANGE_MPEG;
    if (tag == "FullRange") return AVCOL_RANGE_JPEG;
    return AVCOL_RANGE_UNSPECIFIED;
}

} // namespace velmora::ffmpeg
