#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "TimelineExportTestSupport.h"
#include "platform/image/ImagePool.h"
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

// Float pictures are the largest buffers of an export: one at a time is made, whatever the
// lengths of the queues between the stages. The image pool keeps every buffer the export
// released, so what it holds afterwards is what was alive at once.
TEST_F(TimelineExportFramesTest, HoldsOneFloatPictureAtATime)
{
    const std::size_t limit = ImagePool::retainedByteLimit();
    ImagePool::setRetainedByteLimit(0);
    ImagePool::setRetainedByteLimit(std::size_t{256} << 20);
    EXPECT_EQ(stampsOf({videoClip("c1", "A", 1, 0, 2, 0.4)}), range(10, 50));
    const std::size_t frameBytes = std::size_t{kWidth} * kHeight * 4 * sizeof(float);
    EXPECT_EQ(ImagePool::retainedBytes(), frameBytes);
    ImagePool::setRetainedByteLimit(limit);
}

TEST_F(TimelineExportFramesTest, LowerLaneCoversHigherLane)
{
    const auto stamps = stampsOf({videoClip("top", "B", 2, 0, 2, 2.0), videoClip("main", "A", 1, 0.4, 0.8)});
    // Lane 2 shows B from 2 s (frame 50); lane 1 covers 0.4 s to 1.2 s with A from its start.
    EXPECT_EQ(stamps, join(join(range(50, 10), range(0, 20)), range(80, 20)));
}

TEST_F(TimelineExportFramesTest, ReadsSpeedAsAFactorOrAPercentage)
{
    EXPECT_EQ(stampsOf({videoClip("c", "A", 1, 0, 1, 0, 2.0)}), range(0, 25, 2));
    EXPECT_EQ(stampsOf({videoClip("c", "A", 1, 0, 1, 0.2, 200.0)}), range(5, 25, 2));
}

TEST_F(TimelineExportFramesTest, SlowMotionShowsEachSourceFrameTwice)
{
    // Each frame shows the first source frame at or after its source time: 0 at 0 s, then
    // frame 1 for 0.02 s and 0.04 s, frame 2 for 0.06 s and 0.08 s, and so on.
    std::vector<int> expected = {0};
    for (int i = 1; i <= 12; ++i) {
        expected.push_back(i);
        expected.push_back(i);
    }
    EXPECT_EQ(stampsOf({videoClip("c", "A", 1, 0, 1, 0, 50.0)}), expected);
}

TEST_F(TimelineExportFramesTest, FollowsASpeedRamp)
{
    // 1x at the start to 3x at 2 s: the source offset after t seconds is t + t^2 / 2, and each
    // frame shows the first source frame at or after that time. The ramp reads 4 s of source,
    // as its out point says.
    Clip clip = videoClip("r", "A", 1, 0, 2);
    clip.outPoint = 4;
    clip.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 100, {}}, {2, 300, {}}};
    std::vector<int> expected;
    for (int n = 0; n < 50; ++n) {
        const double t = n / 25.0;
        expected.push_back(static_cast<int>(std::ceil((t + t * t / 2) * 25 - 1e-6)));
    }
    EXPECT_EQ(stampsOf({clip}), expected);
}

TEST_F(TimelineExportFramesTest, PlaysAFileCutTwiceWithAnExactCut)
{
    // The second piece jumps ahead in the source; the cut falls between frames 24 and 25.
    EXPECT_EQ(stampsOf({videoClip("one", "A", 1, 0, 1, 0), videoClip("two", "A", 1, 1, 1, 2)}),
              join(range(0, 25), range(50, 25)));
    // Contiguous pieces play on as one stream.
    EXPECT_EQ(stampsOf({videoClip("one", "A", 1, 0, 1, 0), videoClip("two", "A", 1, 1, 1, 1)}), range(0, 50));
}

TEST_F(TimelineExportFramesTest, ACutToAnotherFileIsFrameExact)
{
    EXPECT_EQ(stampsOf({videoClip("a", "A", 1, 0, 0.6, 1), videoClip("b", "B", 1, 0.6, 0.6, 3)}),
              join(range(25, 15), range(75, 15)));
}

TEST_F(TimelineExportFramesTest, GapsAndTheTimelineTailAreBlack)
{
    const auto output = out_ / "gaps.mp4";
    EditorJobV2 job = makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, 0.4), videoClip("b", "A", 1, 0.8, 0.4, 2)});
    job.timelines[0].duration = 1.6;
    exportJob(job, media_->path(), output);
    const auto frames = decodeFrames(output);
    ASSERT_EQ(frames.size(), 40u);
    const auto stamps = frameStamps(frames);
    for (int n = 0; n < 40; ++n) {
        if (n < 10) {
            EXPECT_EQ(stamps[n], n);
        } else if (n >= 20 && n < 30) {
            EXPECT_EQ(stamps[n], 50 + n - 20);
        } else {
            EXPECT_NEAR(meanLuma(frames[n]), 16, 1.0) << "frame " << n;
        }
    }
}

// A clip longer than its file ends in black, as the monitor shows it: a 12 s clip of a 10 s file
// at 25 fps shows source frames 0–249, then 50 black frames, never a held last frame.
TEST_F(TimelineExportFramesTest, PastTheEndOfItsFileAClipIsBlack)
{
    TempDir media;
    makeStampClip(media / "ten.mp4", 250);
    const auto output = out_ / "past.mp4";
    const EditorJobV2 job = makeJob({source("T", "ten.mp4")}, {videoClip("t", "T", 1, 0, 12)});
    exportJob(job, media.path(), output);
    // What the export shows, named without decoding: source frame 249, then gaps.
    const TimelineFrameMap map = Exporter::planTimelineExport(job, std::nullopt, media.path(), std::nullopt).frameMap;
    EXPECT_EQ(map.frame(249).sourceFrame, std::optional<std::int64_t>(249));
    EXPECT_TRUE(map.frame(250).gap());
    const auto frames = decodeFrames(output);
    ASSERT_EQ(frames.size(), 300u);
    const auto stamps = frameStamps(frames);
    EXPECT_EQ(std::vector<int>(stamps.begin(), stamps.begin() + 250), range(0, 250));
    for (const int n : {250, 275, 299}) {
        EXPECT_NEAR(meanLuma(frames[n]), 16, 1.0) << "frame " << n << " stamp " << stamps[n];
    }
}

// A piece that follows a piece of the same source continues where that piece's range ended: a
// cut's second piece shows what comes after the first, never the same footage twice.
TEST_F(TimelineExportFramesTest, APieceAfterAPieceOfTheSameSourceContinuesFromItsEnd)
{
    EXPECT_EQ(stampsOf({videoClip("a", "A", 1, 0, 0.4, 0), videoClip("b", "A", 1, 0.4, 0.4, 0.2)}), range(0, 20));
    // Of another source, it shows its own in point.
    EXPECT_EQ(stampsOf({videoClip("a", "B", 1, 0, 0.4, 0), videoClip("b", "A", 1, 0.4, 0.4, 0.2)}),
              join(range(0, 10), range(5, 10)));
}

TEST_F(TimelineExportFramesTest, KeepsTheSpeedOfASourceAtAnotherFrameRate)
{
    // A 50 fps source read straight through at 25 fps shows every other source frame.
    EXPECT_EQ(stampsOf({videoClip("f", "F", 1, 0, 1, 0)}), range(0, 25, 2));
    EXPECT_EQ(stampsOf({videoClip("f", "F", 1, 0, 1, 0.5)}), range(25, 25, 2));
}

TEST_F(TimelineExportFramesTest, AClipThatTakesOverMidwayIsReadFromWhereItStands)
{
    // Lane 2 is hidden under lane 1 for its first 0.4 s, then shows its frame at 0.4 s.
    EXPECT_EQ(stampsOf({videoClip("under", "B", 2, 0, 1.2, 0), videoClip("over", "A", 1, 0, 0.4, 2)}),
              join(range(50, 10), range(10, 20)));
}

TEST_F(TimelineExportFramesTest, AnImageClipShowsItsPicture)
{
    makeStillImage(out_ / "still.png", kWidth, kHeight, 77);
    EditorJobV2 job = makeJob({source("A", "a.mp4"), source("P", "still.png")},
                              {imageClip("p", "P", 1, 0, 0.4), videoClip("a", "A", 1, 0.4, 0.4)});
    const auto output = out_ / "still.mp4";
    // The still lies in the output folder, which serves as the media folder here.
    std::filesystem::copy_file(*media_ / "a.mp4", out_ / "a.mp4");
    exportJob(job, out_.path(), output);
    EXPECT_EQ(frameStamps(output), join(std::vector<int>(10, 77), range(0, 10)));
}

TEST_F(TimelineExportFramesTest, AStillUnderAVideoClipShowsItsPictureOnEveryFrame)
{
    // A picture is decoded and fitted once and reused, whatever type the clip has.
    makeStillImage(out_ / "still.png", 2 * kWidth, 2 * kHeight, 41);
    EditorJobV2 job = makeJob({source("P", "still.png")}, {videoClip("p", "P", 1, 0, 0.4)});
    exportJob(job, out_.path(), out_ / "still.mp4");
    EXPECT_EQ(frameStamps(out_ / "still.mp4"), std::vector<int>(10, 41));
}

TEST_F(TimelineExportFramesTest, TurnsAClipAsItsFileSays)
{
    // A clip recorded upside down: turned upright, its stamp bars read right to left.
    ClipSettings clipSettings;
    clipSettings.width = kWidth;
    clipSettings.height = kHeight;
    clipSettings.frameCount = 10;
    clipSettings.videoArgs = "-preset ultrafast";
    clipSettings.rotation = 180;
    makeClip(out_ / "turned.mp4", clipSettings);
    EditorJobV2 job = makeJob({source("R", "turned.mp4")}, {videoClip("r", "R", 1, 0, 0.4)});
    exportJob(job, out_.path(), out_ / "upright.mp4");
    std::vector<int> expected;
    for (int n = 0; n < 10; ++n) {
        int reversed = 0;
        for (int bit = 0; bit < 16; ++bit) {
            if (n & (1 << bit)) {
                reversed |= 1 << (15 - bit);
            }
        }
        expected.push_back(reversed);
    }
    EXPECT_EQ(frameStamps(out_ / "upright.mp4"), expected);
}

TEST_F(TimelineExportFramesTest, DrawsTextClipsOverThePicture)
{
    Clip text;
    text.id = "title";
    text.type = "text";
    text.track = 2;
    text.startTime = 0.2;
    text.duration = 0.2;
    text.text = EditorJobV2::TextData{};
    text.text->textContent = "VELMORA";
    text.text->fontSize = 200;
    text.text->color = "#FFFFFF";
    EditorJobV2 job = makeJob({}, {text});
    job.timelines[0].duration = 0.6;
    exportJob(job, media_->path(), out_ / "title.mp4");
    const auto frames = decodeFrames(out_ / "title.mp4");
    ASSERT_EQ(frames.size(), 15u);
    for (int n = 0; n < 15; ++n) {
        double brightest = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                brightest = std::max(brightest, lumaAt(frames[n], x, y));
            }
        }
        if (n >= 5 && n < 10) {
            EXPECT_GT(brightest, 150) << "frame " << n;
        } else {
            EXPECT_LT(brightest, 24) << "frame " << n;
        }
    }
}

TEST_F(TimelineExportFramesTest, WritesTheFrameCountAndRateTheJobAsks)
{
    EditorJobV2 job = makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, 1)}, 30);
    const auto output = out_ / "thirty.mov";
    const ExportResult result = exportJob(job, media_->path(), output);
    EXPECT_EQ(result.outputURL, output);
    EXPECT_EQ(result.fps, 30);
    EXPECT_EQ(result.width, kWidth);
    EXPECT_EQ(result.height, kHeight);
    const auto stream = ffprobeStream(output, "v:0", true);
    EXPECT_EQ(stream["nb_read_frames"], "30");
    EXPECT_EQ(stream["r_frame_rate"], "30/1");
}

} // namespace
} // namespace velmora::test
