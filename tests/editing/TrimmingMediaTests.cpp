// Tail trims that read the source length from the file each source resolved to.

#include <string>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

class TrimWithSourceFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        std::filesystem::create_directories(*folder_ / "cam1");
        std::filesystem::create_directories(*folder_ / "cam2");
        ClipSettings settings;
        settings.frameCount = 50; // 2 s at 25 fps
        makeClip(*folder_ / "cam2" / "Take.mp4", settings);
        settings.frameCount = 150; // 6 s
        makeClip(*folder_ / "cam1" / "Take.mp4", settings);
        shortLength_ = lengthOf(*folder_ / "cam2" / "Take.mp4");
        ASSERT_GT(shortLength_, 1.9);
        ASSERT_LT(shortLength_, 2.5);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static double lengthOf(const std::filesystem::path& file)
    {
        return std::stod(ffprobe(file, "-show_format")["format"]["duration"].get<std::string>());
    }

    // Both sources name "Take.mp4"; each resolved to the file of its own card.
    EditSession::SourceFiles files_{{"s1", *folder_ / "cam1" / "Take.mp4"}, {"s2", *folder_ / "cam2" / "Take.mp4"}};
    static std::unique_ptr<TempDir> folder_;
    static double shortLength_;
};

std::unique_ptr<TempDir> TrimWithSourceFiles::folder_;
double TrimWithSourceFiles::shortLength_ = 0;

TEST_F(TrimWithSourceFiles, ExtensionStopsAtTheEndOfItsSourcesFile)
{
    EditSession session = sessionWith({video("V", 3, 1).in(0.5).name("Take.mp4").source("s2")});
    ASSERT_TRUE(session.trimClipTail("V", 10, false, &files_));
    const double length = shortLength_ - 0.5;
    EXPECT_TRUE(timelineIs(session, {{"V", 3, length, 0.5, 0.5 + length, 1}}));
}

TEST_F(TrimWithSourceFiles, SpeedShortensTheReachableLength)
{
    EditSession session = sessionWith({video("V", 0, 0.5).in(0.5).speed(2).name("Take.mp4").source("s2")});
    ASSERT_TRUE(session.trimClipTail("V", 10, false, &files_));
    const double length = (shortLength_ - 0.5) / 2;
    EXPECT_TRUE(timelineIs(session, {{"V", 0, length, 0.5, 0.5 + length * 2, 1}}));
}

// A clip that already runs past its file's end (3 s at 1.5× on a 2 s file) keeps its length when
// its tail goes outward; inward, it stops at the file's end.
TEST_F(TrimWithSourceFiles, AClipPastItsFilesEndIsNeverShortenedByAnOutwardTrim)
{
    EditSession session = sessionWith({video("V", 0, 3).speed(1.5).name("Take.mp4").source("s2")});
    EXPECT_FALSE(session.trimClipTail("V", 3.15, false, &files_));
    EXPECT_FALSE(session.trimClipTail("V", 5.5, false, &files_));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 3, 0, 4.5, 1}}));
    ASSERT_TRUE(session.trimClipTail("V", 2.5, false, &files_));
    const double length = shortLength_ / 1.5;
    EXPECT_TRUE(timelineIs(session, {{"V", 0, length, 0, shortLength_, 1}}));
}

// A clip of the longer card's source grows to its own file's end, not the first of its name.
TEST_F(TrimWithSourceFiles, SameNamedFilesOfTwoSourcesEachLimitTheirOwnClips)
{
    EditSession session = sessionWith(
        {video("A", 0, 1).name("Take.mp4").source("s1"), video("B", 10, 1).name("Take.mp4").source("s2")});
    ASSERT_TRUE(session.trimClipTail("A", 9, false, &files_));
    ASSERT_TRUE(session.trimClipTail("B", 30, false, &files_));
    const double longLength = lengthOf(*folder_ / "cam1" / "Take.mp4");
    EXPECT_TRUE(timelineIs(session,
                           {{"A", 0, longLength, 0, longLength, 1}, {"B", 10, shortLength_, 0, shortLength_, 1}}));
}

TEST_F(TrimWithSourceFiles, ASourceWithoutAFileKeepsTheClipsOwnRange)
{
    // A clip whose source has no file keeps the limit of its out-point.
    EditSession session = sessionWith({video("V", 0, 1).in(0.5).name("Take.mp4").source("s3")});
    EXPECT_FALSE(session.trimClipTail("V", 10, false, &files_));
    EditSession::SourceFiles gone{{"s3", *folder_ / "no-such-file.mp4"}};
    EXPECT_FALSE(session.trimClipTail("V", 10, false, &gone));
    EXPECT_FALSE(session.trimClipTail("V", 10, false, nullptr));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 1, 0.5, 1.5, 1}}));
}

TEST_F(TrimWithSourceFiles, HeadTrimIgnoresTheFiles)
{
    EditSession session = sessionWith({video("V", 3, 1).in(0.5).name("Take.mp4").source("s2")});
    ASSERT_TRUE(session.trimClipHead("V", 2, false, &files_));
    EXPECT_TRUE(timelineIs(session, {{"V", 2.5, 1.5, 0, 1.5, 1}}));
}

} // namespace
} // namespace velmora::test
