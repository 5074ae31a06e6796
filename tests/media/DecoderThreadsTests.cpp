#include <gtest/gtest.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/VideoFrameSource.h"
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

// The player's reader holds a huge picture reduced to what it shows (twice the 1920-pixel
// area), so that another reader decoding it meanwhile (a poster frame) does not double the
// memory, and decodes it again after the end of the track (where it lets its decoder go).
TEST(DecoderThreads, APlayersHugePictureIsHeldReducedAndDecodedAgainAfterTheEnd)
{
    TempDir dir;
    test::runFFmpeg("-f lavfi -i color=c=gray:s=10000x10000:r=1 -frames:v 2 -c:v libx264 -preset ultrafast \"" +
                    (dir / "huge.mp4").string() + "\"");
    internal::VideoFrameSource source(Asset::openFromHeader(dir / "huge.mp4"), 0, 1920);
    EXPECT_EQ(source.storedWidth(), 10000);
    for (const int second : {0, 1, 0}) { // back to the first frame after the end: decoded again
        const internal::SourceFrame* frame = source.frameAt(MediaTime(second, 1), nullptr);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->time, MediaTime(second, 1));
        EXPECT_EQ(frame->frame->width, 3840);
        EXPECT_EQ(frame->frame->height, 3840);
    }
}

} // namespace
} // namespace velmora
