#include <gtest/gtest.h>

#include "model/EditSession.h"
#include "platform/foundation/IsoDate.h"

using namespace velmora;
using Clip = EditSession::Clip;

namespace {

Clip placed(std::string id, std::optional<std::string> type, double start, double duration)
{
    Clip c(std::move(id));
    c.type = std::move(type);
    c.startTime = start;
    c.duration = duration;
    return c;
}

EditSession twoTimelines()
{
    EditSession session;
    session.timelines = {
        EditSession::Timeline{"t1", "One", 0.0, 100.0, {placed("a", "video", 0, 4), placed("b", "video", 4, 2)}, {}, {}, {}},
        EditSession::Timeline{"t2", "Two", 9.0, 100.0, {placed("c", "video", 0, 9), placed("a", "audio", 0, 1)}, {}, {}, {}},
    };
    return session;
}

} // namespace

TEST(BlankProject, DefaultsAndOneActiveTimeline)
{
    const auto session = EditSession::blankProject();
    EXPECT_EQ(session.tool, "velmora-editor-desktop-edit");
    EXPECT_EQ(session.version, 2);
    ASSERT_TRUE(session.createdAt);
    EXPECT_TRUE(IsoDate::parse(*session.createdAt));
    EXPECT_EQ(session.createdAt->back(), 'Z');
    ASSERT_TRUE(session.sessionId);
    EXPECT_EQ(session.sessionId->size(), 36u);
    ASSERT_TRUE(session.project);
    EXPECT_EQ(session.project->name, "Untitled Project");
    EXPECT_EQ(session.project->width, 1920);
    EXPECT_EQ(session.project->height, 1080);
    EXPECT_EQ(session.project->fps, 24.0);
    ASSERT_EQ(session.timelines.size(), 1u);
    const auto& timeline = session.timelines[0];
    EXPECT_EQ(session.project->activeTimelineId, timeline.id);
    EXPECT_NE(timeline.id, *session.sessionId);
    EXPECT_EQ(timeline.name, "Timeline 1");
    EXPECT_EQ(timeline.duration, 0.0);
    EXPECT_EQ(timeline.pixelsPerSecond, 100.0);
    EXPECT_TRUE(timeline.clips.empty());
    EXPECT_TRUE(timeline.markers.empty());
    EXPECT_TRUE(timeline.lockedTracks.empty());
    ASSERT_TRUE(session.grade);
    EXPECT_FALSE(session.grade->lutCube);
    EXPECT_FALSE(session.mediaFolder);
    EXPECT_TRUE(session.sources.empty());

    const auto custom = EditSession::blankProject("Reel", 1080, 1920, 30.0);
    EXPECT_EQ(custom.project->name, "Reel");
    EXPECT_EQ(custom.project->width, 1080);
    EXPECT_EQ(custom.project->fps, 30.0);
}

TEST(EnsureDefaultTimeline, EmptySessionGainsProjectAndTimeline)
{
    EditSession session;
    session.ensureDefaultTimelineIfNeeded();
    ASSERT_TRUE(session.project);
    EXPECT_EQ(session.project->name, "Desktop Project");
    EXPECT_EQ(session.project->width, 1920);
    EXPECT_EQ(session.project->height, 1080);
    EXPECT_EQ(session.project->fps, 59.94);
    ASSERT_EQ(session.timelines.size(), 1u);
    EXPECT_EQ(session.timelines[0].name, "Timeline 1");
    EXPECT_EQ(session.timelines[0].pixelsPerSecond, 100.0);
    EXPECT_EQ(session.timelines[0].duration, 0.0);
    EXPECT_EQ(session.project->activeTimelineId, session.timelines[0].id);
}

TEST(EnsureDefaultTimeline, KeepsProjectAndReplacesStaleActiveIdWhenAddingATimeline)
{
    EditSession session;
    session.project = EditSession::Project{"Mine", 640, 480, 25.0, std::string("gone")};
    session.ensureDefaultTimelineIfNeeded();
    EXPECT_EQ(session.project->name, "Mine");
    EXPECT_EQ(session.project->activeTimelineId, session.timelines.at(0).id);
}

TEST(EnsureDefaultTimeline, ExistingTimelines)
{
    auto session = twoTimelines();
    session.ensureDefaultTimelineIfNeeded();
    EXPECT_EQ(session.project->name, "Desktop Project");
    EXPECT_EQ(session.project->activeTimelineId, "t1");
    EXPECT_EQ(session.timelines.size(), 2u);

    auto stale = twoTimelines();
    stale.project = EditSession::Project{};
    stale.project->activeTimelineId = "nowhere";
    stale.ensureDefaultTimelineIfNeeded();
    EXPECT_EQ(stale.project->activeTimelineId, "nowhere");
    EXPECT_EQ(stale.activeTimeline()->id, "t1");
    EXPECT_FALSE(stale.project->name);
}

TEST(ClipQueries, KindsAndLocations)
{
    EXPECT_TRUE(EditSession::isAudioClip(placed("x", " SOUND", 0, 1)));
    Clip byName("y");
    byName.name = "voice.m4a";
    EXPECT_TRUE(EditSession::isAudioClip(byName));
    EXPECT_FALSE(EditSession::isVisualTimelineClip(byName));
    EXPECT_TRUE(EditSession::isVisualTimelineClip(placed("t", "Text", 0, 1)));
    EXPECT_TRUE(EditSession::isVisualTimelineClip(Clip("bare")));
    EXPECT_FALSE(EditSession::isVisualTimelineClip(placed("o", "lowerthird", 0, 1)));

    const auto session = twoTimelines();
    EXPECT_EQ(session.clipLocation("a"), (EditSession::ClipLocation{0, 0}));
    EXPECT_EQ(session.clipLocation("c"), (EditSession::ClipLocation{1, 0}));
    EXPECT_FALSE(session.clipLocation("A"));
}

TEST(DeleteClip, RemovesFromAnyTimelineAndRecomputesTheActiveOne)
{
    auto session = twoTimelines();
    const auto removed = session.deleteClip("c");
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->id, "c");
    EXPECT_EQ(session.timelines[1].clips.size(), 1u);
    EXPECT_EQ(session.timelines[1].duration, 9.0);
    EXPECT_EQ(session.timelines[0].duration, 6.0);
    EXPECT_FALSE(session.deleteClip("nope"));
}

TEST(DeleteClips, ActiveTimelineOnly)
{
    auto session = twoTimelines();
    EXPECT_EQ(session.deleteClips({"c"}), 0);
    EXPECT_EQ(session.timelines[0].duration, 6.0);
    EXPECT_EQ(session.timelines[1].clips.size(), 2u);
    EXPECT_EQ(session.deleteClips({"b", "a", "b"}), 2);
    EXPECT_TRUE(session.timelines[0].clips.empty());
    EXPECT_EQ(session.timelines[0].duration, 0.0);
    EXPECT_EQ(session.timelines[1].clips.size(), 2u);
    EditSession empty;
    EXPECT_EQ(empty.deleteClips({"a"}), 0);
}
