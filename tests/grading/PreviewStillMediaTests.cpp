#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>

#include "StillsTestSupport.h"
#include "grading/BasicGrade.h"
#include "grading/GradedStillRequester.h"
#include "grading/MoodGrade.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/image/ColorCube.h"
#include "platform/image/ColorOps.h"
#include "platform/image/Resample.h"
#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace PFG = PreviewFrameGrader;
namespace fs = std::filesystem;
using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = EditorJobV2::ClipGrade::GradeParams;

// The frame number a decoded frame-stamp picture shows (-1 when unreadable).
int stampOf(const Image& image)
{
    if (!image.hasPixels()) {
        return -2;
    }
    return test::readFrameStamp([&](int x, int y) { return static_cast<double>(image.row(y)[4 * x + 1]); },
                                image.width(), image.height());
}

// Frame-stamp clips of 60 frames at 320 x 180, with B-frames and a key frame every 12 frames so
// that seeking has to decode forward from a key frame. Made once per rate for the whole run.
struct StampClips {
    test::TempDir dir;
    std::map<std::string, fs::path> byRate;

    const fs::path& clip(int fpsNum, int fpsDen)
    {
        const std::string name = std::to_string(fpsNum) + "_" + std::to_string(fpsDen);
        auto it = byRate.find(name);
        if (it == byRate.end()) {
            test::ClipSettings clipSettings;
            clipSettings.width = 320;
            clipSettings.height = 180;
            clipSettings.fpsNum = fpsNum;
            clipSettings.fpsDen = fpsDen;
            clipSettings.frameCount = 60;
            clipSettings.videoArgs = "-g 12 -bf 2 -preset ultrafast";
            const fs::path path = dir / ("stamp_" + name + ".mp4");
            test::makeClip(path, clipSettings);
            it = byRate.emplace(name, path).first;
        }
        return it->second;
    }
};

StampClips& stampClips()
{
    static StampClips clips;
    return clips;
}

class PreviewStillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("VELMORA_RESOURCES_DIR", "", 1);
        PFG::inspection::removeAll();
    }
    void TearDown() override { PFG::inspection::removeAll(); }
};

struct Rate {
    int num;
    int den;
};

class FrameAtTime : public PreviewStillTest, public ::testing::WithParamInterface<Rate> {
protected:
    double frameStart(int n) const { return double(n) * GetParam().den / GetParam().num; }
};

// Frames asked in an order that decodes forward, jumps ahead past key frames, seeks back and
// asks one frame twice.
const int askedFrames[] = {0, 1, 2, 7, 13, 36, 59, 30, 11, 3, 3, 24};

TEST_P(FrameAtTime, GeneratorGivesTheFrameDisplayedAtTheTime)
{
    const fs::path& clip = stampClips().clip(GetParam().num, GetParam().den);
    ImageGenerator generator(Asset::open(clip));
    generator.requestedTimeToleranceBefore = MediaTime::zero();
    generator.requestedTimeToleranceAfter = MediaTime::zero();
    for (const int n : askedFrames) {
        // At the frame's first instant and in its middle.
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime(std::int64_t(n) * GetParam().den, GetParam().num))), n);
        const MediaTime middle = MediaTime::fromSeconds(frameStart(n) + 0.45 * GetParam().den / GetParam().num, 60000);
        EXPECT_EQ(stampOf(generator.copyImage(middle)), n) << "middle of frame " << n;
    }
}

TEST_P(FrameAtTime, SourceStillShowsTheFrameAtTheTime)
{
    const fs::path& clip = stampClips().clip(GetParam().num, GetParam().den);
    for (const int n : askedFrames) {
        const auto still = PFG::decodeSourceStill(clip, frameStart(n), 640, 360);
        ASSERT_TRUE(still.has_value()) << n;
        EXPECT_EQ(still->extent(), (Rect{0, 0, 640, 360}));
        EXPECT_EQ(stampOf(*still), n) << "frame " << n;
    }
    // The last instant of the file still shows the last frame; past the end there is none.
    const double end = frameStart(60);
    EXPECT_EQ(stampOf(*PFG::decodeSourceStill(clip, end - 0.001, 640, 360)), 59);
    EXPECT_FALSE(PFG::decodeSourceStill(clip, end + 0.05, 640, 360).has_value());
    EXPECT_EQ(PFG::inspection::generatorCacheCount(), 1u);
}

// As the export takes it, a time a few microseconds past a frame's start shows the next frame.
TEST_P(FrameAtTime, AnExportedStillJustPastAFramesStartShowsTheNextFrame)
{
    const fs::path& clip = stampClips().clip(GetParam().num, GetParam().den);
    for (const int n : {0, 7, 36}) {
        const auto still = PFG::decodeSourceStill(clip, frameStart(n) + 3e-6, 64, 36, true);
        ASSERT_TRUE(still.has_value()) << n;
        EXPECT_EQ(stampOf(*still), n + 1) << "3 µs past the start of frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameAtTime, ::testing::Values(Rate{25, 1}, Rate{30000, 1001}, Rate{60000, 1001}),
                         [](const ::testing::TestParamInfo<Rate>& info) {
                             return "fps_" + std::to_string(info.param.num) + "_" + std::to_string(info.param.den);
                         });

TEST_F(PreviewStillTest, UnreadableFilesAndTimesGiveNoStill)
{
    test::TempDir dir;
    test::writeTextFile(dir / "broken.mp4", "not a movie at all");
    EXPECT_FALSE(PFG::decodeSourceStill(dir / "broken.mp4", 0, 64, 36).has_value());
    EXPECT_FALSE(PFG::decodeSourceStill(dir / "missing.mp4", 0, 64, 36).has_value());
    const fs::path& clip = stampClips().clip(25, 1);
    EXPECT_FALSE(PFG::decodeSourceStill(clip, std::nan(""), 64, 36).has_value());
    EXPECT_FALSE(PFG::decodeSourceStill(clip, 1e300, 64, 36).has_value());
    // A time a hair before the start shows the first frame.
    EXPECT_EQ(stampOf(*PFG::decodeSourceStill(clip, -1e-9, 320, 180)), 0);
}

TEST_F(PreviewStillTest, StillImagesAtAnyTime)
{
    test::TempDir dir;
    test::makeStillImage(dir / "card.png", 320, 180, 1234);
    const auto still = PFG::decodeSourceStill(dir / "card.png", 42.0, 320, 180);
    ASSERT_TRUE(still.has_value());
    EXPECT_EQ(stampOf(*still), 1234);
}

TEST_F(PreviewStillTest, RotatedTrackIsShownUpright)
{
    test::TempDir dir;
    test::ClipSettings clipSettings;
    clipSettings.width = 320;
    clipSettings.height = 180;
    clipSettings.frameCount = 3;
    clipSettings.rotation = 90;
    test::makeClip(dir / "portrait.mp4", clipSettings);
    // Frame 1 lights only the leftmost bar; a quarter turn clockwise puts it along the top.
    const auto still = PFG::decodeSourceStill(dir / "portrait.mp4", 0.05, 180, 320);
    ASSERT_TRUE(still.has_value());
    EXPECT_EQ(still->extent(), (Rect{0, 0, 180, 320}));
    EXPECT_GT(still->pixel(90, 319).g, 0.9f);
    EXPECT_LT(still->pixel(90, 0).g, 0.1f);
}

TEST_F(PreviewStillTest, SixthGeneratorEmptiesTheCache)
{
    const fs::path& clip = stampClips().clip(25, 1);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(PFG::decodeSourceStill(clip, 0.5, 100 + i, 50).has_value());
    }
    EXPECT_EQ(PFG::inspection::generatorCacheCount(), 5u);
    ASSERT_TRUE(PFG::decodeSourceStill(clip, 0.5, 100, 50).has_value()); // reused
    EXPECT_EQ(PFG::inspection::generatorCacheCount(), 5u);
    ASSERT_TRUE(PFG::decodeSourceStill(clip, 0.5, 200, 50).has_value());
    EXPECT_EQ(PFG::inspection::generatorCacheCount(), 1u);
}

// ---- graded stills ----

ClipGrade fullGrade()
{
    ClipGrade grade;
    grade.hasLut = true;
    grade.lutData = stills::warmCubeText();
    grade.lutStrength = 0.9;
    GradeParams params;
    params.moodKey = "kodak_portra";
    params.isMoodEnabled = FlexibleBool{true};
    params.moodAmount = 0.7;
    params.moodShadowLift = 0.2;
    params.exposure = 0.15;
    params.contrast = 0.1;
    params.vibrance = 0.3;
    params.tint = -0.05;
    grade.gradeParams = params;
    return grade;
}

GradedStillRequest requestFor(const fs::path& clip, int frame, int outW, int outH)
{
    GradedStillRequest request;
    request.assetURL = clip;
    request.sourceTime = frame / 25.0;
    request.frameIndex = frame;
    request.clipId = "c1";
    request.clipGrade = fullGrade();
    request.outW = outW;
    request.outH = outH;
    return request;
}

TEST_F(PreviewStillTest, GradedStillMatchesTheChainAppliedByHand)
{
    const fs::path& clip = stampClips().clip(25, 1);
    const auto still = GradedStillRequester::gradeStill(GradedStillKind::paused, requestFor(clip, 17, 640, 360));
    ASSERT_TRUE(still.has_value());
    EXPECT_EQ(still->extent(), (Rect{0, 0, 640, 360}));

    // By hand: the frame, the LUT through the image layer's colour cube at 0.9, then mood and
    // basic grade; the editor's display adds no gamma.
    const Image frame = *PFG::decodeSourceStill(clip, 17 / 25.0, 640, 360);
    EXPECT_EQ(stampOf(frame), 17);
    const CubeLUT cube = Exporter::parseCube(stills::warmCubeText());
    const Image cubed = colorCube(frame, std::make_shared<ColorCube>(3, cube.floats()));
    Image expected = dissolve(frame, cubed, 0.9).rendered();
    const ClipGrade grade = fullGrade();
    expected = Exporter::applyMoodImage(expected, grade.gradeParams);
    expected = Exporter::applyBasicGradeImage(expected, grade.gradeParams, 640, 360).rendered();
    EXPECT_LT(stills::maxDifference(*still, expected), 1e-5);

    // The LUT base of that frame is cached for the slider re-grades, under the LUT's text.
    const std::string frameKey = PFG::lutBaseCacheKey("c1", clip.string(), 17, lutKeyForGrade(grade), 640, 360);
    const std::vector<std::string> keys = PFG::inspection::lutBaseKeyOrder();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys.front().starts_with(frameKey + "|") && keys.front().ends_with("@0.900000")) << keys.front();
}

TEST_F(PreviewStillTest, SliderRegradeReusesTheLutBase)
{
    const fs::path& clip = stampClips().clip(25, 1);
    GradedStillRequest request = requestFor(clip, 5, 1280, 720);
    ASSERT_TRUE(GradedStillRequester::gradeStill(GradedStillKind::interactive, request).has_value());
    const auto keys = PFG::inspection::lutBaseKeyOrder();
    ASSERT_EQ(keys.size(), 1u);
    // A moved slider: same clip, frame, LUT and size, so no new base; a different LUT strength
    // is a different base.
    request.clipGrade->gradeParams->exposure = -0.2;
    const auto moved = GradedStillRequester::gradeStill(GradedStillKind::interactive, request);
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(PFG::inspection::lutBaseKeyOrder(), keys);
    request.clipGrade->lutStrength = 0.5;
    ASSERT_TRUE(GradedStillRequester::gradeStill(GradedStillKind::interactive, request).has_value());
    EXPECT_EQ(PFG::inspection::lutBaseKeyOrder().size(), 2u);
}

TEST_F(PreviewStillTest, StillSizesFollowTheBudget)
{
    const fs::path& clip = stampClips().clip(25, 1);
    const auto paused = GradedStillRequester::gradeStill(GradedStillKind::paused, requestFor(clip, 9, 1280, 720));
    ASSERT_TRUE(paused.has_value());
    EXPECT_EQ(paused->extent(), (Rect{0, 0, 1280, 720}));
    const auto dragging =
        GradedStillRequester::gradeStill(GradedStillKind::interactive, requestFor(clip, 9, 1280, 720));
    ASSERT_TRUE(dragging.has_value());
    EXPECT_EQ(dragging->extent(), (Rect{0, 0, 854, 480}));
    const auto portrait =
        GradedStillRequester::gradeStill(GradedStillKind::interactive, requestFor(clip, 9, 720, 1280));
    ASSERT_TRUE(portrait.has_value());
    EXPECT_EQ(portrait->extent(), (Rect{0, 0, 480, 854}));
    const auto source = GradedStillRequester::gradeStill(GradedStillKind::source, requestFor(clip, 9, 320, 180));
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->extent(), (Rect{0, 0, 320, 180}));

    EXPECT_EQ(gradedStillSize(GradedStillKind::paused, 7680, 4320), (PFG::PixelSize{4096, 2304}));
    EXPECT_EQ(gradedStillSize(GradedStillKind::source, 3840, 2160), (PFG::PixelSize{3840, 2160}));
    EXPECT_EQ(gradedStillSize(GradedStillKind::interactive, 3840, 2160), (PFG::PixelSize{854, 480}));
}

TEST_F(PreviewStillTest, UngradedStillIsTheFrame)
{
    const fs::path& clip = stampClips().clip(25, 1);
    GradedStillRequest request = requestFor(clip, 21, 320, 180);
    request.clipGrade.reset();
    request.gammaMode = "rec709";
    const auto still = GradedStillRequester::gradeStill(GradedStillKind::source, request);
    ASSERT_TRUE(still.has_value());
    EXPECT_EQ(stampOf(*still), 21);
    EXPECT_EQ(lutKeyForGrade(std::nullopt), "none");
}

TEST_F(PreviewStillTest, MissingMediaGivesNoStill)
{
    GradedStillRequest request = requestFor("/nonexistent/clip.mov", 0, 320, 180);
    EXPECT_FALSE(GradedStillRequester::gradeStill(GradedStillKind::paused, request).has_value());
    EXPECT_TRUE(PFG::inspection::lutBaseKeyOrder().empty());
}

// ---- delivery to the main thread ----

struct Delivered {
    int count = 0;
    std::optional<Image> still;
};

TEST_F(PreviewStillTest, OnlyTheNewestRequestIsDelivered)
{
    const fs::path& clip = stampClips().clip(25, 1);
    auto main = std::make_shared<ManualMainQueue>();
    GradedStillRequester requester(main);
    Delivered first;
    Delivered second;
    GradedStillRequest a = requestFor(clip, 3, 320, 180);
    a.clipGrade.reset();
    GradedStillRequest b = a;
    b.sourceTime = 40 / 25.0;
    b.frameIndex = 40;
    a.gammaMode = b.gammaMode = "rec709";
    EXPECT_EQ(requester.request(GradedStillKind::paused, a, [&](std::optional<Image> s) {
        ++first.count;
        first.still = std::move(s);
    }), 1u);
    EXPECT_EQ(requester.request(GradedStillKind::paused, b, [&](std::optional<Image> s) {
        ++second.count;
        second.still = std::move(s);
    }), 2u);
    ASSERT_TRUE(main->runUntil([&] { return second.count > 0; }, 60));
    PFG::pauseGradeQueue().sync([] {});
    main->runUntilIdle();
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(second.count, 1);
    ASSERT_TRUE(second.still.has_value());
    EXPECT_EQ(stampOf(*second.still), 40);
}

TEST_F(PreviewStillTest, ANewerRequestOfAnotherKindMakesTheOlderStale)
{
    const fs::path& clip = stampClips().clip(25, 1);
    auto main = std::make_shared<ManualMainQueue>();
    GradedStillRequester requester(main);
    int dragged = 0;
    int paused = 0;
    requester.request(GradedStillKind::interactive, requestFor(clip, 3, 320, 180), [&](auto) { ++dragged; });
    // Let the re-grade finish and post before the newer request exists.
    PFG::interactiveQueue().sync([] {});
    requester.request(GradedStillKind::paused, requestFor(clip, 3, 320, 180), [&](auto) { ++paused; });
    ASSERT_TRUE(main->runUntil([&] { return paused > 0; }, 60));
    main->runUntilIdle();
    EXPECT_EQ(dragged, 0);
    EXPECT_EQ(paused, 1);
}

TEST_F(PreviewStillTest, CancelledAndOrphanedRequestsAreDropped)
{
    const fs::path& clip = stampClips().clip(25, 1);
    auto main = std::make_shared<ManualMainQueue>();
    int delivered = 0;
    {
        GradedStillRequester requester(main);
        requester.request(GradedStillKind::source, requestFor(clip, 3, 320, 180), [&](auto) { ++delivered; });
        requester.cancel();
        EXPECT_EQ(requester.currentRequest(), 2u);
        requester.request(GradedStillKind::source, requestFor(clip, 4, 320, 180), [&](auto) { ++delivered; });
    } // gone before its work comes back
    PFG::gradeQueue().sync([] {});
    main->runUntilIdle();
    EXPECT_EQ(delivered, 0);
}

TEST_F(PreviewStillTest, AFailedStillIsDeliveredAsNothing)
{
    auto main = std::make_shared<ManualMainQueue>();
    GradedStillRequester requester(main);
    Delivered result;
    requester.request(GradedStillKind::paused, requestFor("/nonexistent/clip.mov", 0, 320, 180),
                      [&](std::optional<Image> s) {
                          ++result.count;
                          result.still = std::move(s);
                      });
    ASSERT_TRUE(main->runUntil([&] { return result.count > 0; }, 60));
    EXPECT_FALSE(result.still.has_value());
}

} // namespace
} // namespace velmora
