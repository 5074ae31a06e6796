#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "editing/PreviewFrameTiming.h"
#include "editing/TimelineZoom.h"

namespace velmora {
namespace {

FrameDuration frameFor(float rate)
{
    return PreviewFrameTiming::frameDuration(rate);
}

TEST(FrameTiming, NominalRatesMapToTheTable)
{
    EXPECT_EQ(frameFor(59.94f), (FrameDuration{1001, 60000}));
    EXPECT_EQ(frameFor(60), (FrameDuration{1001, 60000}));
    EXPECT_EQ(frameFor(50.5f), (FrameDuration{1001, 60000}));
    EXPECT_EQ(frameFor(25), (FrameDuration{1001, 24000}));
    EXPECT_EQ(frameFor(23.976f), (FrameDuration{1001, 24000}));
    EXPECT_EQ(frameFor(29.97f), (FrameDuration{1, 30}));
    // 24 lies inside (23, 26), so true 24 fps footage is stepped on the 23.976 grid too.
    EXPECT_EQ(frameFor(24), (FrameDuration{1001, 24000}));
    EXPECT_EQ(frameFor(100), (FrameDuration{1, 100}));
    EXPECT_EQ(frameFor(120), (FrameDuration{1, 120}));
    EXPECT_EQ(frameFor(300), (FrameDuration{1, 240}));
    EXPECT_EQ(frameFor(12), (FrameDuration{1, 24}));
    EXPECT_EQ(PreviewFrameTiming::frameDuration(std::nullopt), (FrameDuration{1, 24}));
}

TEST(FrameTiming, BoundsAreStrict)
{
    EXPECT_EQ(frameFor(50), (FrameDuration{1, 50}));
    EXPECT_EQ(frameFor(62), (FrameDuration{1, 62}));
    EXPECT_EQ(frameFor(23), (FrameDuration{1, 24}));
    EXPECT_EQ(frameFor(26), (FrameDuration{1, 26}));
    EXPECT_EQ(frameFor(29), (FrameDuration{1, 29}));
    EXPECT_EQ(frameFor(31), (FrameDuration{1, 31}));
    EXPECT_EQ(frameFor(47.5f), (FrameDuration{1, 48})); // halves round away from zero
    EXPECT_EQ(frameFor(-5), (FrameDuration{1, 24}));
}

TEST(FrameTiming, RatesThatAreNotNumbersCountAsNoTrack)
{
    EXPECT_EQ(frameFor(std::numeric_limits<float>::quiet_NaN()), (FrameDuration{1, 24}));
    EXPECT_EQ(frameFor(std::numeric_limits<float>::infinity()), (FrameDuration{1, 24}));
}

TEST(FrameTiming, ObserverIntervalIsOneFrameAndUiIntervalIs120th)
{
    EXPECT_EQ(PreviewFrameTiming::observerInterval(60), (FrameDuration{1001, 60000}));
    EXPECT_EQ(PreviewFrameTiming::playbackUIInterval, (FrameDuration{1, 120}));
    EXPECT_DOUBLE_EQ(PreviewFrameTiming::playbackUIInterval.seconds(), 1.0 / 120);
}

// The grid's rates are checked against the export's time base in the export's tests.
TEST(FrameGrid, AFramesStartIsOnThatFrameUpToItsLastInstant)
{
    const FrameGrid ntsc = FrameGrid::ofRate(29.97);
    for (std::int64_t n : {0, 1, 2, 25, 1799, 107892}) {
        EXPECT_EQ(ntsc.index(ntsc.start(n)), n);
        EXPECT_EQ(ntsc.index(n / 29.97), n);
        EXPECT_EQ(ntsc.index(ntsc.start(n + 1) - 1e-5), n);
    }
    EXPECT_EQ(ntsc.start(1799), 1799 * 1001 / 30000.0);
    EXPECT_EQ(ntsc.index(-0.01), -1);
    EXPECT_EQ(ntsc.snap(-0.01), 0.0);
    EXPECT_EQ(ntsc.index(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(FrameGrid::ofRate(25).snap(1.05), 1.04);
}

// The last frame a timeline has is the last its export writes: its length in frames, rounded.
TEST(FrameGrid, ATimelinesLastFrameIsTheExportsLast)
{
    const FrameGrid grid = FrameGrid::ofRate(25);
    for (const auto& [length, count, last] : std::vector<std::tuple<double, double, std::int64_t>>{
             {2.0, 50, 49}, {2.01, 50, 49}, {2.03, 51, 50}, {0.01, 0, 0}, {0, 0, 0}}) {
        EXPECT_EQ(grid.frameCount(length), count) << length;
        EXPECT_EQ(grid.lastFrame(length), last) << length;
    }
    EXPECT_EQ(grid.lastFrame(std::nan("")), 0);
    EXPECT_EQ(FrameGrid::ofRate(30000.0 / 1001).lastFrame(10), 299);
}

TEST(Zoom, SliderToPixelsPerSecond)
{
    EXPECT_DOUBLE_EQ(TimelineZoom::uiToPps(-10), 0.02);
    EXPECT_DOUBLE_EQ(TimelineZoom::uiToPps(0), 0.02);
    EXPECT_NEAR(TimelineZoom::uiToPps(25), 0.2632, 1e-4);
    EXPECT_NEAR(TimelineZoom::uiToPps(50), 3.4641, 1e-4);
    EXPECT_NEAR(TimelineZoom::uiToPps(75), 45.59, 1e-2);
    EXPECT_DOUBLE_EQ(TimelineZoom::uiToPps(100), 600);
    EXPECT_DOUBLE_EQ(TimelineZoom::uiToPps(150), 600);
}

TEST(Zoom, PixelsPerSecondToSlider)
{
    EXPECT_NEAR(TimelineZoom::ppsToUI(100), 82.62, 1e-2);
    EXPECT_EQ(TimelineZoom::ppsToUI(0), 0);
    EXPECT_EQ(TimelineZoom::ppsToUI(-3), 0);
    EXPECT_EQ(TimelineZoom::ppsToUI(1000), 100);
    EXPECT_EQ(TimelineZoom::ppsToUI(600), 100);
    for (double u = 0; u <= 100; u += 12.5) {
        EXPECT_NEAR(TimelineZoom::ppsToUI(TimelineZoom::uiToPps(u)), u, 1e-9);
    }
}

TEST(Zoom, Clamp)
{
    EXPECT_EQ(TimelineZoom::clampPps(0.001), 0.02);
    EXPECT_EQ(TimelineZoom::clampPps(1e6), 600);
    EXPECT_EQ(TimelineZoom::clampPps(42), 42);
    EXPECT_EQ(TimelineZoom::clampPps(std::numeric_limits<double>::infinity()), 600);
    EXPECT_EQ(TimelineZoom::clampPps(-std::numeric_limits<double>::infinity()), 0.02);
}

TEST(Zoom, NotANumberClampsToTheMaximumZoom)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(TimelineZoom::clampPps(nan), 600);
    EXPECT_EQ(TimelineZoom::uiToPps(nan), TimelineZoom::ppsDefault);
    EXPECT_DOUBLE_EQ(TimelineZoom::ppsToUI(nan), TimelineZoom::ppsToUI(TimelineZoom::ppsDefault));
}

} // namespace
} // namespace velmora
