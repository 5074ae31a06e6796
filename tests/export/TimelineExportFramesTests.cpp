#include <gtest/gtest.h>

#include <memory>

#include "TimelineExportTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

// Frame stamps of the output prove which source frame every output frame shows. The sources
// are 25 fps stamp clips; the exports run at 25 fps, so output frame n is at n / 25 s.
class TimelineExportFramesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeStampClip(*media_ / "a.mp4", 100);
        makeStampClip(*media_ / "b.mp4", 100);
        makeStampClip(*media_ / "fast.mp4", 100, 50);
        makeFlatClip(*media_ / "grey.mp4", 180, 50);
    }
    static void TearDownTestSuite() { media_.reset(); }

    std::vector<int> stampsOf(const std::vector<Clip>& clips, double timelineDuration = 0)
    {
        EditorJobV2 job = makeJob({source("A", "a.mp4"), source("B", "b.mp4"), source("F", "fast.mp4")}, clips);
        if (timelineDuration > 0) {
            job.timelines[0].duration = timelineDuration;
        }
        const auto output = out_ / "movie.mp4";
        exportJob(job, media_->path(), output);
        return frameStamps(output);
    }

    static std::vector<int> range(int first, int count, int step = 1)
    {
        std::vector<int> values;
        for (int i = 0; i < count; ++i) {
            values.push_back(first + i * step);
        }
        return values;
    }
    static std::vector<int> join(std::vector<int> a, const std::vector<int>& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
};

std::unique_ptr<TempDir> TimelineExportFramesTest::media_;

TEST_F(TimelineExportFramesTest, PlaysOneClipFromItsInPoint)
{
    EXPECT_EQ(stampsOf({videoClip("c1", "A", 1, 0, 1, 0.4)}), range(10, 25));
}

TEST_F(TimelineExportFramesTest, LowerLaneCoversHigherLane)
{
    const auto stamps = stampsOf({videoClip("top", "B", 2, 0, 2, 2.0), videoClip("main", "A", 1, 0.4, 0.8)});
    // Lane 2 shows B from 2 s (frame 50); lane 1 covers 0.4 s to 1.2 s with A from its start.
    EXPECT_EQ(stamps, join(join(range(50, 10), range(0, 20)), range(80, 20)));
}
} // namespace
} // namespace velmora::test
