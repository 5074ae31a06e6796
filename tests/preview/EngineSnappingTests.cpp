// Magnetic snapping at different zoom levels, and the zoom itself.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace velmora::test {
namespace {

// The playhead at 5 s and one other clip far away at 20 s.
struct SnapFixture {
    explicit SnapFixture(std::optional<double> pps)
    {
        auto session = sessionWith({clip("drag", "video", 0, 2), clip("far", "video", 20, 2)});
        session->timelines[0].pixelsPerSecond = pps;
        h.adopt(session);
        h.engine.scrub(5);
    }
    EngineHarness h;
};

TEST(EngineSnapping, AtTheDefaultZoomTheSnapRadiusIsNearlyHalfASecond)
{
    SnapFixture f(std::nullopt); // unset: snaps as 80 px/s
    EXPECT_DOUBLE_EQ(f.h.engine.effectiveSnapThreshold(), 0.35);
    const auto pulled = f.h.engine.snapClipStartTime(4.6, "drag");
    EXPECT_EQ(pulled.time, 5.0);
    EXPECT_EQ(pulled.guideTime, 5.0);
    const auto free = f.h.engine.snapClipStartTime(4.5, "drag");
    EXPECT_EQ(free.time, 4.5);
    EXPECT_FALSE(free.guideTime.has_value());
    // A dragged clip never snaps to its own edges (0 and 2 here, but 0 is the timeline's start).
    EXPECT_EQ(f.h.engine.snapTimelineTime(2.2, "drag", true), 2.2);
    EXPECT_EQ(f.h.engine.snapTimelineTime(2.2, "far", true), 2.0);
    // The views read an unset zoom as the 80 px/s the lanes are drawn at.
    EXPECT_EQ(f.h.engine.activeTimelinePixelsPerSecond(), 80.0);
}

TEST(EngineSnapping, CloseInTheFloorHoldsAndFarOutTheRadiusWidens)
{
    SnapFixture close(600);
    EXPECT_DOUBLE_EQ(close.h.engine.effectiveSnapThreshold(), 0.35);
    EXPECT_EQ(close.h.engine.snapTimelineTime(4.66, "drag", true), 5.0);
    EXPECT_EQ(close.h.engine.snapTimelineTime(4.64, "drag", true), 4.64);

    SnapFixture far(20);
    EXPECT_DOUBLE_EQ(far.h.engine.effectiveSnapThreshold(), 0.6);
    EXPECT_EQ(far.h.engine.snapTimelineTime(4.15, "drag", true), 5.0);
    EXPECT_EQ(far.h.engine.snapTimelineTime(4.05, "drag", true), 4.05);
}

TEST(EngineSnapping, SwitchedOffOnlyFloorsAtZero)
{
    SnapFixture f(80);
    f.h.engine.setMagneticSnapEnabled(false);
    const auto negative = f.h.engine.snapClipStartTime(-0.4, "drag");
    EXPECT_EQ(negative.time, 0.0);
    EXPECT_FALSE(negative.guideTime.has_value());
    EXPECT_EQ(f.h.engine.snapClipStartTime(4.9, "drag").time, 4.9);
}

TEST(EngineSnapping, ZoomIsClampedAndIsNoUndoableEdit)
{
    SnapFixture f(80);
    const int revision = f.h.engine.timelineRevision();
    const std::size_t builds = f.h.builder->buildCount();
    f.h.engine.setActiveTimelinePixelsPerSecond(1000);
    EXPECT_EQ(f.h.session().timelines[0].pixelsPerSecond, 600.0);
    f.h.engine.setActiveTimelinePixelsPerSecond(0);
    EXPECT_EQ(f.h.session().timelines[0].pixelsPerSecond, 0.02);
    EXPECT_EQ(f.h.engine.timelineRevision(), revision + 2);
    EXPECT_FALSE(f.h.engine.canUndo());
    EXPECT_EQ(f.h.builder->buildCount(), builds);
}

} // namespace
} // namespace velmora::test
