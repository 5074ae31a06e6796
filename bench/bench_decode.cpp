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
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/media/AssetReader.h"
#include "platform/media/PixelBufferImage.h"
#include "platform/media/internal/FFmpegSupport.h"

namespace {

// Decodes the first video stream with the reader's own opening (ffmpeg::openInput and
// ffmpeg::openDecoder, one thread per usable core) and returns the frame count.
int decodeOnly(const char* path)
{
    using namespace velmora;
    const ffmpeg::InputFormatPtr format = ffmpeg::openInput(path, false);
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return -1;
    }
    const ffmpeg::CodecContextPtr decoder = ffmpeg::openDecoder(format->streams[index], 0);
    const ffmpeg::PacketPtr packet = ffmpeg::allocPacket();
    const ffmpeg::FramePtr frame = ffmpeg::allocFrame();
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
        int frames = -1;
        try {
            frames = decodeOnly(argv[1]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
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
