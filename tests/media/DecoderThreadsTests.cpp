#include <gtest/gtest.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::TempDir;

// Every frame thread holds a frame of its own: huge frames get fewer threads, never none.
TEST(DecoderThreads, FramesTooLargeForAThreadPerCoreGetFewer)
{
    EXPECT_EQ(ffmpeg::threadsForFrames(3840, 2160, AV_PIX_FMT_YUV420P10LE, 10, 8), 8);
    EXPECT_EQ(ffmpeg::threadsForFrames(1920, 1080, AV_PIX_FMT_NONE, 0, 6), 6);
    // 8192 × 8192 in 4:2:0: 96 MB a frame, five in 512 MB; twice that in 16-bit words.
    EXPECT_EQ(ffmpeg::threadsForFrames(8192, 8192, AV_PIX_FMT_YUV420P, 8, 8), 5);
    EXPECT_EQ(ffmpeg::threadsForFrames(8192, 8192, AV_PIX_FMT_NONE, 0, 8), 5);
    EXPECT_EQ(ffmpeg::threadsForFrames(8192, 8192, AV_PIX_FMT_NONE, 10, 8), 2);
    EXPECT_EQ(ffmpeg::threadsForFrames(16000, 16000, AV_PIX_FMT_NONE, 0, 8), 1);
    EXPECT_EQ(ffmpeg::threadsForFrames(16000, 16000, AV_PIX_FMT_RGBA64LE, 16, 64), 1);
    EXPECT_EQ(ffmpeg::threadsForFrames(0, 0, AV_PIX_FMT_NONE, 0, 8), 8);
    EXPECT_EQ(ffmpeg::threadsForFrames(640, 480, AV_PIX_FMT_YUV420P, 8, 0), 1);
}

// A decoder opened with the default thread count, as the player's is, for a movie read from its
// header alone (which does not say the pixel format).
TEST(DecoderThreads, AHugeMoviesDecoderGetsFewerThreads)
{
    TempDir dir;
    test::runFFmpeg("-f lavfi -i color=c=gray:s=12000x12000 -frames:v 1 -c:v libx264 -preset ultrafast \"" +
                    (dir / "huge.mp4").string() + "\"");
    test::runFFmpeg("-f lavfi -i color=c=gray:s=320x240 -frames:v 1 -c:v libx264 -preset ultrafast \"" +
                    (dir / "small.mp4").string() + "\"");
    const auto threadsOf = [](const std::filesystem::path& path) {
        const ffmpeg::InputFormatPtr format = ffmpeg::openInput(path, false);
        return ffmpeg::openDecoder(format->streams[0], 0)->thread_count;
    };
    // 216 MB a frame: two of them.
    EXPECT_EQ(threadsOf(dir / "huge.mp4"), std::min<int>(2, static_cast<int>(usableCoreCount())));
    EXPECT_EQ(threadsOf(dir / "small.mp4"), static_cast<int>(usableCoreCount()));
}

} // namespace
} // namespace velmora
