// One editing session end to end: a generated project on disk, loaded, edited, undone and redone.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

std::shared_ptr<EditSession> writeAndLoadProject(const TempDir& media)
{
    ClipSettings eightSeconds;
    eightSeconds.frameCount = 200;
    makeClip(media / "clip1.mp4", eightSeconds);
    ClipSettings sixSeconds;
    sixSeconds.frameCount = 150;
    makeClip(media / "clip2.mp4", sixSeconds);
    writeTextFile(media / "look.cube", "LUT_3D_SIZE 3\n" + std::string(27, ' ') + "\n");

    EditSession project = EditSession::blankProject("Trip", 1920, 1080, 30);
    project.sources = {{"s1", "clip1.mp4", std::string("video")}, {"s2", "clip2.mp4", std::string("video")}};
    EditSession::Clip first = clip("v1", "video", 0, 8, 1, "clip1.mp4");
    first.sourceId = "s1";
    EditSession::Clip second = clip("v2", "video", 8, 6, 1, "clip2.mp4");
    second.sourceId = "s2";
    project.timelines[0].clips = {first, second};
    project.saveProject(media / "trip.tavlek", media.path().string());
    return std::make_shared<EditSession>(EditSession::load(media / "trip.tavlek"));
}

std::string rightHalfOf(const EditSession& session, const std::string& id)
{
    for (const EditSession::Clip& clip : session.timelines[0].clips) {
        if (clip.id.starts_with(id + "_b_")) {
            return clip.id;
        }
    }
    return {};
}

TEST(EngineScriptedSequence, SplitMoveTrimLutThenUndoThreeTimesAndRedoTwice)
{
    EngineHarness h;
    h.engine.load(writeAndLoadProject(h.media), h.media.path(), h.media / "trip.tavlek");
    h.builder->finish(14);
    h.queue->runUntilIdle();
    TimelinePreviewEngine& engine = h.engine;
    ASSERT_EQ(engine.status(), "Ready — 14.00s · Grade OFF (smooth play)");
    ASSERT_TRUE(timelineIs(h.session(), {{"v1", 0, 8}, {"v2", 8, 6}}));

    engine.scrub(4);
    engine.splitAtPlayhead();
    EXPECT_TRUE(h.showed("v0.60 — Split OK — video only (playhead not inside yellow clip)"));
    const std::string right = rightHalfOf(h.session(), "v1");
    EXPECT_EQ(engine.selectedClipId(), right);
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {"v1_b_*", 4, 4, 1, 4}, {"v2", 8, 6}}));

    engine.commitClipDrop("v2", 10, 1);
    EXPECT_EQ(engine.status(), "Moved → V1 @ 10.00s");
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {"v1_b_*", 4, 4}, {"v2", 10, 6}}));

    engine.setRippleEditEnabled(true);
    engine.scrub(6);
    engine.trimAtPlayhead();
    EXPECT_TRUE(h.showed("Trimmed out @ playhead + audio"));
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {"v1_b_*", 4, 2}, {"v2", 8, 6}}));

    engine.setClipLutReference("look.cube", "v2");
    EXPECT_EQ(h.session().clipLutReference("v2"), "look.cube");
    EXPECT_TRUE(engine.gradePreviewEnabled());

    // The LUT is no undo step of its own: undoing the trim restores the timeline as it was
    // before the trim, LUT included; redo would bring it back.
    engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {"v1_b_*", 4, 4}, {"v2", 10, 6}}));
    EXPECT_EQ(h.session().clipLutReference("v2"), "None");
    engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {"v1_b_*", 4, 4}, {"v2", 8, 6}}));
    engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 8}, {"v2", 8, 6}}));
    EXPECT_FALSE(engine.canUndo());

    engine.redo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {right, 4, 4}, {"v2", 8, 6}}));
    engine.redo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v1", 0, 4}, {right, 4, 4}, {"v2", 10, 6}}));
    EXPECT_TRUE(engine.canRedo());
    EXPECT_EQ(engine.status(), "Redo · Building timeline…");
    EXPECT_EQ(h.builder->requests.back().session->timelines[0].clips[2].startTime, 10.0);
}

} // namespace
} // namespace velmora::test
