// The source viewer's default playback: a media file on the platform player.

#include <gtest/gtest.h>

#include "inspectors/PlatformSourcePlayback.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/media/RecordingAudioSink.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

TEST(PlatformSourcePlayback, PlaysTheFileAndHandsOutThePictureItShows)
{
    TempDir folder;
    ClipSettings settings;
    settings.fpsNum = 30;
    settings.frameCount = 60;
    settings.videoArgs = "-preset ultrafast";
    settings.audio = true;
    makeClip(folder / "clip.mp4", settings);

    auto queue = std::make_shared<ManualMainQueue>();
    const auto sinks = [] { return std::make_shared<RecordingAudioSink>(std::make_shared<ManualClock>()); };
    const SourcePlayback playback = openPlatformSourcePlayback(folder / "clip.mp4", queue, sinks);
    ASSERT_NE(playback.player, nullptr);
    EXPECT_EQ(playback.player->itemDuration().seconds(), 2.0);

    bool landed = false;
    playback.player->seek(MediaTime(1, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) { landed = f; });
    ASSERT_TRUE(queue->runUntil([&] { return landed; }, 20));
    const QImage picture = playback.currentPicture();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(160, 96));
    EXPECT_EQ(readFrameStamp([&](int x, int y) { return qGreen(picture.pixel(x, y)) / 255.0; }, 160, 96), 30);

    // A file that is no media has no player: the viewer shows stills and waveforms instead.
    writeTextFile(folder / "notes.mp4", "not a movie");
    EXPECT_EQ(openPlatformSourcePlayback(folder / "notes.mp4", queue, sinks).player, nullptr);
}

} // namespace
} // namespace velmora::test
