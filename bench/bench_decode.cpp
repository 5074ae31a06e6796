// Decodes the first video track of a movie into float frames as a whole process, so that
// bench/bench_decode.sh can time it side by side with FFmpeg's tool decoding the same file.
//
//   bench_decode MOVIE [images|x420|decoder]
//
// images (the default): the reader's float-image output, converted in one pass from the
// decoder's planes. x420: the reader's 'x420' buffers turned into float images afterwards (the
// path the float output replaces), kept for comparison. Each frame's last row is read, so that
// the conversion cannot be skipped. Prints the frame count and a checksum.
// decoder: libavcodec alone, opened as the reader opens it (one frame thread per usable core),
// every frame received and dropped: what the float conversion is added to.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/media/AssetReader.h"
#include "platform/media/PixelBufferImage.h"

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// Decodes the first video stream with libavcodec alone and returns the frame count (-1 on
// failure).
int decodeOnly(const char* path)
{
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path, nullptr, nullptr) < 0) {
        return -1;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        return -1;
    }
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return -1;
    }
    const AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        return -1;
    }
    decoder->thread_count = static_cast<int>(velmora::usableCoreCount());
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return -1;
    }
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    int frames = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            ++frames;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return frames;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace velmora;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MOVIE [images|x420|decoder]\n", argv[0]);
        return 2;
    }
    if (argc >= 3 && std::strcmp(argv[2], "decoder") == 0) {
        const int frames = decodeOnly(argv[1]);
        if (frames < 0) {
            std::fprintf(stderr, "cannot decode the movie\n");
            return 1;
        }
        std::printf("%d frames\n", frames);
        return 0;
    }
    const bool images = argc < 3 || std::strcmp(argv[2], "x420") != 0;
    try {
        auto asset = Asset::open(argv[1]);
        const AssetTrack* track = asset->firstTrack(MediaType::video);
        if (!track) {
            std::fprintf(stderr, "no video track\n");
            return 1;
        }
        AssetReader reader(asset);
        auto output = images ? AssetReaderTrackOutput::videoImages(*track)
                             : AssetReaderTrackOutput::video(*track, PixelFormat::p010);
        output->alwaysCopiesSampleData = false;
        reader.add(output);
        if (!reader.startReading()) {
            std::fprintf(stderr, "cannot read the movie\n");
            return 1;
        }
        int frames = 0;
        double sum = 0;
        while (auto sample = output->copyNextSampleBuffer()) {
            const Image image = images ? sample->image : imageFromPixelBuffer(sample->imageBuffer);
            const float* last = image.row(image.height() - 1);
            sum += last[0] + last[4 * (image.width() - 1) + 1];
            ++frames;
        }
        if (reader.status() != AssetReaderStatus::completed) {
            std::fprintf(stderr, "reading failed: %s\n", reader.error() ? reader.error()->what() : "?");
            return 1;
        }
        std::printf("%d frames, checksum %.6f\n", frames, sum);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
