// Taking over a session, project settings, and the rebuild that installs a player.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace velmora::test {
namespace {

std::shared_ptr<EditSession> twoVideosOneAudio()
{
    auto session = sessionWith({clip("v1", "video", 0, 6, 1, "DJI_0001.MP4"),
                                clip("a1", "audio", 0, 6, 1, "DJI_0001 (Audio)"), clip("v2", "video", 6, 6.5)});
    session->timelines.push_back(EditSession::Timeline{});
    return session;
}

TEST(EngineAdoption, WithoutMediaFolderShowsTheSessionWithoutAPlayer)
{
    EngineHarness h;
    h.engine.adoptSession(twoVideosOneAudio(), std::nullopt, std::nullopt, true);
    EXPECT_EQ(h.engine.status(), "Loaded Timeline 1: 2 video, 1 audio (2 timelines in file) — choose Media Folder…");
    EXPECT_EQ(h.engine.avPlayer(), nullptr);
    EXPECT_EQ(h.engine.durationSeconds(), 12.5);
    EXPECT_EQ(h.engine.timelineRevision(), 1);
    EXPECT_EQ(h.engine.gradePreviewRevision(), 1);
    EXPECT_EQ(h.builder->buildCount(), 0u);
    EXPECT_FALSE(h.engine.previewMediaFolder().has_value());
}

TEST(EngineAdoption, WithoutMediaFolderNothingOfThePreviousPreviewLivesOn)
{
    EngineHarness h;
    auto player = h.adopt(sessionWith({clip("A", "video", 0, 4)}));
    h.engine.togglePlay();
    h.engine.adoptSession(sessionWith({clip("B", "video", 0, 4)}), std::nullopt, std::nullopt, true);
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_EQ(player->observerCount(), 0u);

    // Neither a build still running nor a rebuild still waiting installs a player afterwards.
    h.adopt(sessionWith({clip("A", "video", 0, 4)}));
    h.engine.setSelectedClipId("A");
    h.engine.slipSelectedClip(0.1);
    h.engine.reloadComposition(std::nullopt);
    const std::size_t builds = h.builder->buildCount();
    h.engine.adoptSession(twoVideosOneAudio(), std::nullopt, std::nullopt, true);
    h.builder->finish(4);
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.avPlayer(), nullptr);
    h.queue->advance(1);
    EXPECT_EQ(h.builder->buildCount(), builds);
    EXPECT_EQ(h.engine.status(), "Loaded Timeline 1: 2 video, 1 audio (2 timelines in file) — choose Media Folder…");
}

TEST(EngineAdoption, WithoutReloadTheFirstFolderLoadsAndLaterOnesUpdateThePool)
{
    EngineHarness h;
    auto session = twoVideosOneAudio();
    session->sources = {{"s1", "DJI_0001.MP4"}, {"s2", "DJI_0002.MP4"}};
    h.engine.adoptSession(session, h.media.path(), std::nullopt, false);
    EXPECT_EQ(h.engine.status(), "Loaded Timeline 1: 2 video, 1 audio (2 timelines in file)");
    h.engine.recordUndoPoint();
    h.engine.adoptSession(session, h.media.path(), std::nullopt, false);
    EXPECT_EQ(h.engine.status(), "Updated media pool (2 sources)");
    EXPECT_TRUE(h.engine.canUndo()); // the history survives an adoption without reload
    EXPECT_EQ(h.builder->buildCount(), 0u);

    // A reload says what it loaded, once, in place of what was said before.
    EngineHarness again;
    again.engine.adoptSession(session, again.media.path(), std::nullopt, false);
    again.engine.adoptSession(session, again.media.path(), std::nullopt, true);
    EXPECT_EQ(again.engine.status(), "Loaded Timeline 1: 2 video, 1 audio (2 timelines in file) — building preview…");
}

TEST(EngineAdoption, WithReloadBuildsFromZeroThenKeepsThePlayheadForTheSameFolder)
{
    EngineHarness h;
    auto session = twoVideosOneAudio();
    h.engine.adoptSession(session, h.media.path(), std::nullopt, true);
    EXPECT_EQ(h.builder->buildCount(), 1u);
    EXPECT_EQ(h.engine.status(), "Loaded Timeline 1: 2 video, 1 audio (2 timelines in file) — building preview…");
    EXPECT_TRUE(h.showed("Building timeline…"));
    // The build reads a copy, not the engine's session.
    EXPECT_NE(h.builder->requests[0].session.get(), session.get());

    auto player = h.builder->finish(12.5);
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.avPlayer(), player);
    EXPECT_EQ(h.engine.status(), "Ready — 12.50s · Grade OFF (smooth play)");
    EXPECT_EQ(player->observerCount(), 1u);
    EXPECT_EQ(player->seeks.back().seconds, 0.0);

    h.engine.scrub(4.0);
    h.engine.recordUndoPoint();
    h.engine.adoptSession(session, h.media.path() / "", std::nullopt, true);
    EXPECT_FALSE(h.engine.canUndo()); // reload empties the history
    auto second = h.builder->finish(12.5);
    h.queue->runUntilIdle();
    EXPECT_EQ(second->seeks.back().seconds, 4.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 4.0);
}

TEST(EngineRebuild, OnlyTheNewestBuildIsInstalledAndFailuresReachTheStatus)
{
    EngineHarness h;
    h.adopt(twoVideosOneAudio());
    h.engine.reloadComposition(std::nullopt);
    h.engine.reloadComposition(std::nullopt);
    auto stale = h.builder->finish(5, 1);
    auto newest = h.builder->finish(12.5, 2);
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.avPlayer(), newest);
    EXPECT_EQ(stale->observerCount(), 0u);

    h.engine.reloadComposition(std::nullopt);
    EXPECT_EQ(h.engine.avPlayer(), nullptr);
    h.builder->fail(Error("preview", 10, "Media not found for timeline clips: a.mp4. Use Media Folder… or relink."));
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.status(), "Failed: Media not found for timeline clips: a.mp4. Use Media Folder… or relink.");
    EXPECT_EQ(h.engine.lastError(), "Media not found for timeline clips: a.mp4. Use Media Folder… or relink.");
}

// A playhead moved while an edit's rebuild runs stays where it was moved when the build ends,
// also when poster frames re-adopt the session with the same folder meanwhile.
TEST(EngineRebuild, APlayheadMovedWhileTheBuildRunsStaysWhereItWasMoved)
{
    for (const bool readopted : {false, true}) {
        EngineHarness h;
        h.adopt(twoVideosOneAudio());
        h.engine.scrub(4.0);
        h.engine.rebuildComposition(true, std::nullopt, false);
        h.engine.scrub(1.5);
        const double moved = h.engine.playheadSeconds();
        ASSERT_NEAR(moved, 1.5, 0.02);
        if (readopted)
            h.engine.adoptSession(h.engine.session(), h.media.path(), std::nullopt, true);
        auto player = h.builder->finish(12.5);
        h.queue->runUntilIdle();
        EXPECT_EQ(player->seeks.back().seconds, moved) << readopted;
        EXPECT_EQ(h.engine.playheadSeconds(), moved) << readopted;
    }
}

// Neither the first build of a project nor the open project taken again without a player (its
// last build failed) puts the playhead back at 0 once the user has moved it.
TEST(EngineRebuild, ABuildLandingLateNeverSendsAMovedPlayheadToTheStart)
{
    EngineHarness h;
    h.engine.adoptSession(twoVideosOneAudio(), h.media.path(), std::nullopt, true);
    h.engine.stepPlayheadFrame(1, false);
    h.engine.stepPlayheadFrame(1, false);
    auto first = h.builder->finish(12.5);
    h.queue->runUntilIdle();
    EXPECT_EQ(first->seeks.back().seconds, 2 / 30.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 2 / 30.0);

    h.engine.reloadComposition(std::nullopt);
    h.builder->fail(Error("preview", 10, "Media not found"));
    h.queue->runUntilIdle();
    ASSERT_EQ(h.engine.avPlayer(), nullptr);
    h.engine.scrub(4.0);
    h.engine.reloadSession(h.engine.session(), h.media.path(), std::nullopt);
    auto again = h.builder->finish(12.5);
    h.queue->runUntilIdle();
    EXPECT_EQ(again->seeks.back().seconds, 4.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 4.0);
}

TEST(EngineProjectSettings, ApplyWritesTheProjectAndReloads)
{
    EngineHarness h;
    h.adopt(twoVideosOneAudio());
    const int revision = h.engine.timelineRevision();
    h.engine.applyProjectSettings("Trip", 1280, 720, 25, "None");
    const EditSession::Project& project = *h.session().project;
    EXPECT_EQ(project.name, "Trip");
    EXPECT_EQ(project.fps, 25);
    EXPECT_EQ(project.activeTimelineId, "tl");
    EXPECT_EQ(h.engine.outputWidth(), 1280);
    EXPECT_EQ(h.engine.outputHeight(), 720);
    EXPECT_EQ(h.session().grade->lutCube, "None");
    EXPECT_EQ(h.engine.projectLutCube(), "");
    EXPECT_EQ(h.engine.timelineRevision(), revision + 1);
    EXPECT_EQ(h.builder->buildCount(), 2u);
    EXPECT_EQ(h.engine.status(), "Project settings updated — canvas 1280×720");
}

TEST(EngineProjectSettings, SyncBeforeExportRegradesOrRebuilds)
{
    EngineHarness h;
    h.engine.adoptSession(twoVideosOneAudio(), std::nullopt, std::nullopt, true);
    const int grade = h.engine.gradePreviewRevision();
    h.engine.syncTimelineTrimAndPreview(false);
    EXPECT_EQ(h.engine.gradePreviewRevision(), grade + 1);
    // Asked to rebuild without a media folder: nothing to build, and no regrade either.
    h.engine.syncTimelineTrimAndPreview(true);
    EXPECT_EQ(h.engine.gradePreviewRevision(), grade + 1);
    EXPECT_EQ(h.builder->buildCount(), 0u);
}

struct FakeCleanFeed final : CleanFeedWindowHandle {
    bool isWindowVisible() const override { return visible; }
    void performClose() override { ++closes; }
    bool visible = true;
    int closes = 0;
};

TEST(EngineCleanFeed, ToggleClosesAVisibleWindowAndOpensOtherwise)
{
    EngineHarness h;
    FakeCleanFeed feed;
    h.engine.setCleanFeedWindowOpener([&](TimelinePreviewEngine& engine) {
        engine.setCleanFeedController(&feed);
        return &feed;
    });
    h.engine.toggleCleanFeedWindow(); // opens
    h.engine.toggleCleanFeedWindow(); // closes the visible window
    feed.visible = false;
    h.engine.toggleCleanFeedWindow(); // opens again: a hidden window is not closed
    EXPECT_EQ(feed.closes, 1);
}

} // namespace
} // namespace velmora::test
