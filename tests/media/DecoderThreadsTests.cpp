#include <gtest/gtest.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::TempDir;

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
