// Tail trims that read the source length from the media file itself.

#include <string>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

class TrimWithMediaFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClipSettings settings;
        settings.frameCount = 50; // 2 s at 25 fps
        makeClip(folder_ / "Take.mp4", settings);
        sourceLength_ = std::stod(ffprobe(folder_ / "Take.mp4", "-show_format")["format"]["duration"].get<std::string>());
        ASSERT_GT(sourceLength_, 1.9);
    }

    TempDir folder_;
    double sourceLength_ = 0;
};

TEST_F(TrimWithMediaFolder, ExtensionStopsAtTheEndOfTheFile)
{
    EditSession session = sessionWith({video("V", 3, 1).in(0.5).name("Take.mp4")});
    ASSERT_TRUE(session.trimClipTail("V", 10, false, folder_.path()));
    const double length = sourceLength_ - 0.5;
    EXPECT_TRUE(timelineIs(session, {{"V", 3, length, 0.5, 0.5 + length, 1}}));
}

TEST_F(TrimWithMediaFolder, SpeedShortensTheReachableLength)
{
    EditSession session = sessionWith({video("V", 0, 0.5).in(0.5).speed(2).name("Take.mp4")});
    ASSERT_TRUE(session.trimClipTail("V", 10, false, folder_.path()));
    const double length = (sourceLength_ - 0.5) / 2;
    EXPECT_TRUE(timelineIs(session, {{"V", 0, length, 0.5, 0.5 + length * 2, 1}}));
}

TEST_F(TrimWithMediaFolder, UnknownFileFallsBackToTheClipsOwnRange)
{
    // A clip whose file is not in the folder keeps the limit of its out-point.
    EditSession session = sessionWith({video("V", 0, 1).in(0.5).name("Missing.mp4")});
    EXPECT_FALSE(session.trimClipTail("V", 10, false, folder_.path()));
    EXPECT_FALSE(session.trimClipTail("V", 10, false, folder_.path() / "no-such-folder"));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 1, 0.5, 1.5, 1}}));
}

TEST_F(TrimWithMediaFolder, HeadTrimIgnoresTheFolder)
{
    EditSession session = sessionWith({video("V", 3, 1).in(0.5).name("Take.mp4")});
    ASSERT_TRUE(session.trimClipHead("V", 2, false, folder_.path()));
    EXPECT_TRUE(timelineIs(session, {{"V", 2.5, 1.5, 0, 1.5, 1}}));
}

} // namespace
} // namespace velmora::test
