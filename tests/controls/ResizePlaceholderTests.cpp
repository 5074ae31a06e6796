#include <gtest/gtest.h>

#include "controls/ResizePlaceholderView.h"
#include "model/EditSession.h"

namespace velmora {
namespace {

EditSession::Clip clip(std::string id, std::optional<std::string> type, std::optional<int> track,
                       std::optional<double> start, std::optional<double> duration)
{
    EditSession::Clip result(std::move(id));
    result.type = std::move(type);
    result.track = track;
    result.startTime = start;
    result.duration = duration;
    return result;
}

EditSession sessionWith(std::vector<EditSession::Clip> clips, std::optional<double> pps)
{
    EditSession session;
    session.project = EditSession::Project{};
    EditSession::Timeline timeline;
    timeline.id = "t1";
    timeline.pixelsPerSecond = pps;
    timeline.clips = std::move(clips);
    session.timelines.push_back(timeline);
    return session;
}

TEST(ResizePlaceholderLayout, VideoClipsBecomeBlocksOnTheirLanes)
{
    const EditSession session = sessionWith(
        {clip("a", "video", 3, 2.0, 0.01), clip("b", "audio", 1, 0, 5), clip("c", "video", std::nullopt, std::nullopt, 1.5),
         clip("d", "Video", 1, 0, 1), clip("e", "text", 2, 0, 1)},
        std::nullopt);
    const ResizePlaceholderLayout layout = ResizePlaceholderLayout::make(&session, 1.5);
    EXPECT_EQ(layout.pixelsPerSecond, 80.0);
    ASSERT_EQ(layout.blocks.size(), 2u);
    // Lane 3 at 2 s, 0.01 s long: at least 4 wide.
    EXPECT_EQ(layout.blocks[0].clipId, "a");
    EXPECT_EQ(layout.blocks[0].rect, QRectF(236, 56, 4, 22));
    // No lane and no start: lane 1 at 0.
    EXPECT_EQ(layout.blocks[1].rect, QRectF(76, 8, 120, 22));
    EXPECT_EQ(layout.playheadX, 80 * 1.5 + 76);
}

TEST(ResizePlaceholderLayout, ZoomComesFromTheTimelineWhenTheProjectHasOne)
{
    EditSession session = sessionWith({clip("a", "video", 1, 1, 2)}, 40);
    EXPECT_EQ(ResizePlaceholderLayout::make(&session, 0).blocks[0].rect, QRectF(116, 8, 80, 22));
    session.project.reset();
    EXPECT_EQ(ResizePlaceholderLayout::make(&session, 0).pixelsPerSecond, 80.0);
    EditSession absurd = sessionWith({}, -5);
    EXPECT_EQ(ResizePlaceholderLayout::make(&absurd, 0).pixelsPerSecond, 80.0);

    // No open project: no blocks, the playhead still at the engine's time.
    const ResizePlaceholderLayout empty = ResizePlaceholderLayout::make(nullptr, 2);
    EXPECT_TRUE(empty.blocks.empty());
    EXPECT_EQ(empty.playheadX, 236.0);
}

TEST(ResizePlaceholderView, TheProgramAreaTakesWhatTheBarsAndTimelineLeave)
{
    ResizePlaceholderView view;
    view.resize(800, 600);
    view.setTimelineHeight(180);
    // 44 top bar, program, 40 transport, 8 strip, 180 timeline, 28 bottom bar.
    EXPECT_EQ(view.timelineArea(), QRectF(0, 600 - 28 - 180, 800, 180));
    view.resize(800, 200);
    EXPECT_EQ(view.timelineArea().top(), 44 + 40 + 8);
    EXPECT_FALSE(view.grab().isNull());
}

} // namespace
} // namespace velmora
