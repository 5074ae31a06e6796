// Undo points, undo and redo, and the debounced rebuild.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace velmora::test {
namespace {

std::shared_ptr<EditSession> gapSession()
{
    return sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 4)});
}

TEST(EngineUndo, UndoRedoRestoreClipsMarkersAndDurationButNotLaneState)
{
    EngineHarness h;
    h.adopt(gapSession());
    h.engine.scrub(2);
    h.engine.addMarkerAtPlayhead();
    h.engine.scrub(5);
    h.engine.closeGapAtPlayhead();
    ASSERT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 4, 4}}));
    EXPECT_EQ(h.session().timelines[0].duration, 8.0);
    h.engine.toggleVideoTrackLock(1);

    const std::size_t builds = h.builder->buildCount();
    h.engine.undo();
    EXPECT_EQ(h.engine.status(), "Undo · Building timeline…"); // "Undo", then the immediate rebuild
    EXPECT_TRUE(h.showed("Undo"));
    EXPECT_EQ(h.builder->buildCount(), builds + 1);
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 6, 4}}));
    EXPECT_EQ(h.session().timelines[0].duration, 10.0);
    EXPECT_TRUE(h.engine.isVideoTrackLocked(1));
    h.engine.undo();
    EXPECT_TRUE(h.engine.activeMarkers().empty());
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(h.engine.canRedo());

    h.engine.redo();
    h.engine.redo();
    EXPECT_TRUE(h.showed("Redo"));
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 4, 4}}));
    EXPECT_EQ(h.engine.activeMarkers().size(), 1u);
    EXPECT_FALSE(h.engine.canRedo());

    // Nothing left to redo: nothing changes, no status.
    h.statuses.clear();
    h.engine.redo();
    EXPECT_TRUE(h.statuses.empty());
}

TEST(EngineUndo, ANewEditEmptiesRedoButARefusedOneKeepsIt)
{
    EngineHarness h;
    h.adopt(gapSession());
    h.engine.scrub(5);
    h.engine.closeGapAtPlayhead();
    h.engine.undo();
    ASSERT_TRUE(h.engine.canRedo());

    h.engine.splitAtPlayhead(); // the playhead is in the gap: refused
    EXPECT_EQ(h.engine.status(), "Split: playhead inside a video clip (not a gap)");
    EXPECT_TRUE(h.engine.canRedo());
    EXPECT_FALSE(h.engine.canUndo());

    h.engine.scrub(2);
    h.engine.addMarkerAtPlayhead();
    EXPECT_FALSE(h.engine.canRedo());
}

TEST(EngineUndo, ABurstOfDebouncedEditsRebuildsOnce)
{
    EngineHarness h;
    h.adopt(gapSession());
    h.engine.setSelectedClipId("A");
    const std::size_t builds = h.builder->buildCount();
    for (int i = 0; i < 3; ++i) {
        h.engine.slipSelectedClip(0.1);
        h.queue->advance(0.05);
    }
    EXPECT_EQ(h.builder->buildCount(), builds);
    h.queue->advance(0.12 - 0.05 - 0.001);
    EXPECT_EQ(h.builder->buildCount(), builds);
    h.queue->advance(0.002);
    EXPECT_EQ(h.builder->buildCount(), builds + 1);
    h.queue->advance(1);
    EXPECT_EQ(h.builder->buildCount(), builds + 1);
}

TEST(EngineUndo, MarkersRebuildNothingAndNeedATimeline)
{
    EngineHarness h;
    h.engine.addMarkerAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Import Web Job JSON… then Media Folder…");
    EXPECT_EQ(h.engine.timelineRevision(), 0);

    h.adopt(gapSession());
    const int revision = h.engine.timelineRevision();
    const std::size_t builds = h.builder->buildCount();
    h.engine.addMarkerAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Marker added");
    EXPECT_EQ(h.engine.timelineRevision(), revision + 1);
    h.queue->advance(1);
    EXPECT_EQ(h.builder->buildCount(), builds);
}

} // namespace
} // namespace velmora::test
