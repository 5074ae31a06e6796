#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "editing/PreviewFrameTiming.h"
#include "workspace/EditorWorkspaceText.h"
#include "workspace/bars/PlaybackScrubBar.h"
#include "workspace/program/PreviewArea.h"

namespace velmora {
namespace {

using namespace EditorWorkspaceText;

TEST(EditorWorkspaceText, CanvasLabelNamesTheCommonRatesAndFormatsTheRest)
{
    EXPECT_EQ(previewCanvasLabel(1920, 1080, 59.94), "1920×1080 · 59.94 fps");
    EXPECT_EQ(previewCanvasLabel(1920, 1080, 59.9401), "1920×1080 · 59.94 fps");
    EXPECT_EQ(previewCanvasLabel(3840, 2160, 23.976), "3840×2160 · 23.976 fps");
    EXPECT_EQ(previewCanvasLabel(1280, 720, 23.98), "1280×720 · 23.976 fps");
    EXPECT_EQ(previewCanvasLabel(1920, 1080, 25), "1920×1080 · 25 fps");
    EXPECT_EQ(previewCanvasLabel(1920, 1080, 29.97), "1920×1080 · 29.97 fps");
    EXPECT_EQ(previewCanvasLabel(1920, 1080, 12.5), "1920×1080 · 12.50 fps");
    EXPECT_EQ(previewCanvasLabel(1, 1, 60), "1×1 · 60 fps");
}

TEST(EditorWorkspaceText, TimeLabelCountsFramesAtTheTrueRate)
{
    EXPECT_EQ(timeLabel(0, 59.94), "00:00:00");
    EXPECT_EQ(timeLabel(10, 59.94), "00:09:59"); // 599 frames, non-drop
    EXPECT_EQ(timeLabel(100, 23.976), "01:39:21"); // frame 2397 runs from 99.983 s to 100.025 s
    EXPECT_EQ(timeLabel(60, 29.97), "00:59:28");   // 1798 frames
    EXPECT_EQ(timeLabel(4500, 25), "75:00:00");    // minutes are not folded into hours
    EXPECT_EQ(timeLabel(1.04, 25), "00:01:01");
    EXPECT_EQ(timeLabel(10, 47.952), "00:09:47"); // frame 479 of 48000/1001, non-drop
    // Rates of no whole number of frames a second: the second a frame starts in, and its place there.
    EXPECT_EQ(timeLabel(0.99, 12.5), "00:00:12"); // frame 12 starts at 0.96 s
    EXPECT_EQ(timeLabel(1.05, 12.5), "00:01:00"); // frame 13 at 1.04 s
    EXPECT_EQ(timeLabel(2, 12.5), "00:02:00");    // frame 25
    EXPECT_EQ(timeLabel(12, 0.2), "00:10:00");    // frame 2
    // What a broken document or rate could hand it.
    EXPECT_EQ(timeLabel(std::numeric_limits<double>::quiet_NaN(), 25), "00:00:00");
    EXPECT_EQ(timeLabel(-3, 25), "00:00:00");
    EXPECT_EQ(timeLabel(1, std::numeric_limits<double>::infinity()), timeLabel(1, defaultFrameRate));
    EXPECT_EQ(timeLabel(1, 0), timeLabel(1, defaultFrameRate));
}

// A frame's text from its first instant (as the grid computes it and as n / fps) to just before
// the next frame: the last frame of a second and the first of the next.
TEST(EditorWorkspaceText, TimeLabelNamesTheFrameShownThroughoutIt)
{
    struct Case {
        double fps;
        std::int64_t frame;
        const char* text;
    };
    const Case cases[] = {
        {23.976, 23, "00:00:23"}, {23.976, 24, "00:01:00"}, {23.976, 71, "00:02:23"},
        {24.0, 23, "00:00:23"},   {24.0, 24, "00:01:00"},   {25.0, 24, "00:00:24"},
        {25.0, 25, "00:01:00"},   {25.0, 74, "00:02:24"},   {29.97, 29, "00:00:29"},
        {29.97, 30, "00:01:00"},  {29.97, 1799, "00:59:29"}, {30.0, 30, "00:01:00"},
        {59.94, 59, "00:00:59"},  {59.94, 60, "00:01:00"},  {59.94, 119, "00:01:59"},
    };
    for (const Case& c : cases) {
        const FrameGrid grid = FrameGrid::ofRate(c.fps);
        SCOPED_TRACE(std::to_string(c.fps) + " fps, frame " + std::to_string(c.frame));
        EXPECT_EQ(timeLabel(grid.start(c.frame), c.fps), c.text);
        EXPECT_EQ(timeLabel(c.frame / c.fps, c.fps), c.text);
        EXPECT_EQ(timeLabel(grid.start(c.frame) + 0.9 / grid.rate(), c.fps), c.text);
    }
}

TEST(EditorWorkspaceText, RelinkMessageListsAtMostEightNames)
{
    const std::string local = "Some clips are missing from the project media folder. Choose the folder that "
                              "contains these files (subfolders are OK).";
    EXPECT_EQ(relinkMessage(false, {}), local);
    EXPECT_EQ(relinkMessage(false, {"A.MP4", "B.MP4"}), local + "\n\nA.MP4\nB.MP4");
    std::vector<std::string> nine;
    for (int i = 1; i <= 9; ++i)
        nine.push_back("C" + std::to_string(i) + ".MOV");
    EXPECT_EQ(relinkMessage(false, nine),
              local + "\n\nC1.MOV\nC2.MOV\nC3.MOV\nC4.MOV\nC5.MOV\nC6.MOV\nC7.MOV\nC8.MOV\n…and 1 more");
    EXPECT_EQ(relinkMessage(true, {}), "Web .tavlek projects do not include video files. Point to the folder on this "
                                       "computer that contains the original clips.");
}

TEST(EditorWorkspaceText, Badge)
{
    EXPECT_EQ(versionBadge("2.1", "57"), "v2.1 (57)");
    EXPECT_EQ(versionBadge(std::nullopt, std::nullopt), "v? (?)");
}

TEST(PlaybackScrubBarMath, KnobTravelsTheWidthLessTheKnobAndThePointerMapsTheFullWidth)
{
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::knobOffset(214, 5, 10), 100);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::knobOffset(214, 20, 10), 200);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::knobOffset(214, -1, 10), 0);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::knobOffset(214, 3, 0), 0);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::knobOffset(10, 5, 10), 0); // narrower than the knob
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::timeAt(50, 200, 8), 2);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::timeAt(-30, 200, 8), 0);
    EXPECT_DOUBLE_EQ(PlaybackScrubBar::timeAt(999, 200, 8), 8);
}

TEST(PreviewAreaLayout, TheProgramViewKeepsTheCanvasAspectCentred)
{
    EXPECT_EQ(PreviewArea::fittedRect(QRect(0, 0, 1000, 400), 16.0 / 9.0), QRect(144, 0, 711, 400));
    EXPECT_EQ(PreviewArea::fittedRect(QRect(0, 0, 400, 1000), 16.0 / 9.0), QRect(0, 387, 400, 225));
    EXPECT_EQ(PreviewArea::fittedRect(QRect(0, 0, 300, 200), 1.0), QRect(50, 0, 200, 200));
}

} // namespace
} // namespace velmora
