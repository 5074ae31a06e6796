#include <gtest/gtest.h>

#include "model/EditSession.h"

using namespace velmora;
using Clip = EditSession::Clip;

namespace {

Clip clip(std::string id, std::optional<std::string> type = std::nullopt, std::optional<std::string> name = std::nullopt)
{
    Clip c(std::move(id));
    c.type = std::move(type);
    c.name = std::move(name);
    return c;
}

Clip video(std::string id, std::string sourceId, double start, double duration, double inPoint)
{
    Clip c = clip(std::move(id), "video");
    c.sourceId = std::move(sourceId);
    c.startTime = start;
    c.duration = duration;
    c.inPoint = inPoint;
    return c;
}

EditSession sessionWith(std::vector<Clip> clips)
{
    EditSession session;
    EditSession::Timeline timeline;
    timeline.id = "t1";
    timeline.clips = std::move(clips);
    session.timelines.push_back(std::move(timeline));
    return session;
}

} // namespace

TEST(NormalizedClipType, FollowsTypeThenNameThenType)
{
    EXPECT_EQ(EditSession::normalizedClipType(" Sound \n", std::nullopt), "audio");
    EXPECT_EQ(EditSession::normalizedClipType("VIDEO", "song.mp3"), "video");
    EXPECT_EQ(EditSession::normalizedClipType("Text", std::nullopt), "text");
    EXPECT_EQ(EditSession::normalizedClipType("image", "a.wav"), "image");
    EXPECT_EQ(EditSession::normalizedClipType("lowerthird", "title.png"), "image");
    EXPECT_EQ(EditSession::normalizedClipType(" LowerThird", "title card"), "lowerthird");
    EXPECT_EQ(EditSession::normalizedClipType(std::nullopt, "Take 3 (Audio)"), "audio");
    EXPECT_EQ(EditSession::normalizedClipType(std::nullopt, "DJI_0001.MP4"), "video");
    EXPECT_EQ(EditSession::normalizedClipType("", " voice.WAV "), "audio");
    EXPECT_EQ(EditSession::normalizedClipType("  ", "still.HEIC"), "image");
    EXPECT_EQ(EditSession::normalizedClipType(std::nullopt, std::nullopt), "video");
    EXPECT_EQ(EditSession::normalizedClipType("graphic", "x.m4a"), "audio");
}

TEST(NormalizeTiming, FillsDurationInAndOut)
{
    Clip bare("a");
    EditSession::normalizeTiming(bare);
    EXPECT_EQ(bare.duration, 0.0);
    EXPECT_EQ(bare.inPoint, 0.0);
    EXPECT_EQ(bare.outPoint, 0.0);
    EXPECT_FALSE(bare.speed);
    EXPECT_FALSE(bare.startTime);

    Clip slow("b");
    slow.speed = 0.01;
    slow.duration = 2;
    slow.inPoint = 1;
    EditSession::normalizeTiming(slow);
    EXPECT_EQ(slow.outPoint, 1.125);
    EXPECT_EQ(slow.speed, 0.01);

    Clip stale("c");
    stale.duration = 3;
    stale.inPoint = 2;
    stale.speed = 2;
    stale.outPoint = 99;
    stale.startTime = -1;
    EditSession::normalizeTiming(stale);
    EXPECT_EQ(stale.outPoint, 8.0);
    EXPECT_EQ(stale.startTime, -1.0);

    Clip negative("d");
    negative.duration = -4;
    negative.inPoint = -2;
    EditSession::normalizeTiming(negative);
    EXPECT_EQ(negative.duration, 0.0);
    EXPECT_EQ(negative.inPoint, 0.0);
    EXPECT_EQ(negative.outPoint, 0.0);
}

TEST(FixAbuttingInPoints, ContinuesTheCutWithinTheGapTolerance)
{
    auto session = sessionWith({video("a", "s1", 0, 4, 10), video("b", "s1", 4.05, 3, 3)});
    EXPECT_TRUE(session.normalizeAllClipTiming());
    const auto& second = session.timelines[0].clips[1];
    EXPECT_EQ(second.inPoint, 14.0);
    EXPECT_EQ(second.outPoint, 17.0);
    EXPECT_EQ(second.startTime, 4.05);
    EXPECT_EQ(second.duration, 3.0);
}

TEST(FixAbuttingInPoints, LeavesDistantOrLaterInPointsAlone)
{
    for (const auto& [start, inPoint] : std::vector<std::pair<double, double>>{{4.1, 3}, {4, 13.96}, {4, 14.5}}) {
        auto session = sessionWith({video("a", "s1", 0, 4, 10), video("b", "s1", start, 3, inPoint)});
        EXPECT_FALSE(session.normalizeAllClipTiming()) << start << " " << inPoint;
        EXPECT_EQ(session.timelines[0].clips[1].inPoint, inPoint);
    }
}

TEST(FixAbuttingInPoints, OverlapStillCountsAndOrderIsByStart)
{
    // Stored out of order, overlapping by 1 s: the earlier-starting clip is the previous one.
    auto session = sessionWith({video("late", "s1", 3, 2, 0), video("early", "s1", 0, 4, 10)});
    EXPECT_TRUE(session.normalizeAllClipTiming());
    EXPECT_EQ(session.timelines[0].clips[0].inPoint, 14.0);
    EXPECT_EQ(session.timelines[0].clips[1].inPoint, 10.0);
}

TEST(FixAbuttingInPoints, UsesStoredOutPointAndSkipsOtherSourcesAndAudio)
{
    auto session = sessionWith({video("a", "s1", 0, 4, 10), video("b", "s2", 4, 3, 0)});
    session.timelines[0].clips[0].outPoint = 20;
    EXPECT_FALSE(session.fixAbuttingSameSourceInPoints());

    auto audio = sessionWith({video("a", "s1", 0, 4, 10), video("b", "s1", 4, 3, 0)});
    audio.timelines[0].clips[1].type = "audio";
    EXPECT_FALSE(audio.fixAbuttingSameSourceInPoints());

    auto stored = sessionWith({video("a", "s1", 0, 4, 10), video("b", "s1", 4, 3, 0)});
    stored.timelines[0].clips[0].outPoint = 20;
    stored.timelines[0].clips[1].speed = 0.01;
    EXPECT_TRUE(stored.fixAbuttingSameSourceInPoints());
    EXPECT_EQ(stored.timelines[0].clips[1].inPoint, 20.0);
    EXPECT_EQ(stored.timelines[0].clips[1].outPoint, 20.0 + 3 * 0.0625);
}

TEST(FixAbuttingInPoints, ChainsThroughThreePieces)
{
    auto session = sessionWith({video("a", "s1", 0, 2, 5), video("b", "s1", 2, 2, 0), video("c", "s1", 4, 2, 0)});
    EXPECT_TRUE(session.normalizeAllClipTiming());
    EXPECT_EQ(session.timelines[0].clips[1].inPoint, 7.0);
    EXPECT_EQ(session.timelines[0].clips[2].inPoint, 9.0);
}

TEST(RecomputeTimelineDuration, CountsVideoAndImageOfTheActiveTimelineOnly)
{
    Clip voice = clip("v", "audio");
    voice.startTime = 0;
    voice.duration = 30;
    auto session = sessionWith({voice});
    session.timelines[0].duration = 12;
    session.recomputeTimelineDuration();
    EXPECT_EQ(session.timelines[0].duration, 0.0);

    Clip still = clip("i", std::nullopt, "card.png");
    still.startTime = 2;
    still.duration = 3;
    Clip shot = clip("s", "video");
    shot.duration = 4;
    Clip title = clip("t", "text");
    title.startTime = 10;
    title.duration = 5;
    auto mixed = sessionWith({still, shot, title});
    EditSession::Timeline other;
    other.id = "t2";
    other.duration = 77;
    mixed.timelines.push_back(other);
    mixed.recomputeTimelineDuration();
    EXPECT_EQ(mixed.timelines[0].duration, 5.0);
    EXPECT_EQ(mixed.timelines[1].duration, 77.0);

    mixed.project = EditSession::Project{};
    mixed.project->activeTimelineId = "t2";
    mixed.recomputeTimelineDuration();
    EXPECT_EQ(mixed.timelines[1].duration, 0.0);

    EditSession empty;
    empty.recomputeTimelineDuration();
    EXPECT_TRUE(empty.timelines.empty());
}

TEST(NormalizeClipIds, FillsEmptyAndRenamesDuplicates)
{
    auto session = sessionWith({clip(""), clip(""), clip("a"), clip(" ")});
    EditSession::Timeline second;
    second.id = "t2";
    second.clips = {clip("a"), clip("clip_0_1")};
    session.timelines.push_back(second);
    session.normalizeClipIds();
    const auto& first = session.timelines[0].clips;
    EXPECT_EQ(first[0].id, "clip_0_0");
    EXPECT_EQ(first[1].id, "clip_0_1");
    EXPECT_EQ(first[2].id, "a");
    EXPECT_EQ(first[3].id, " ");
    const auto& renamed = session.timelines[1].clips;
    ASSERT_EQ(renamed[0].id.size(), 10u);
    EXPECT_EQ(renamed[0].id.substr(0, 2), "a_");
    EXPECT_EQ(renamed[1].id.substr(0, 9), "clip_0_1_");
    EXPECT_EQ(renamed[1].id.size(), 17u);
}

TEST(NormalizeClipIds, GeneratedIdsAreUniqueAcrossTheSession)
{
    std::vector<Clip> clips;
    for (int i = 0; i < 300; ++i) {
        clips.push_back(clip("same"));
        clips.push_back(clip(""));
    }
    clips.push_back(clip("clip_0_1"));
    auto session = sessionWith(clips);
    session.normalizeClipIds();
    std::set<std::string> ids;
    for (const auto& c : session.timelines[0].clips) {
        EXPECT_FALSE(c.id.empty());
        ids.insert(c.id);
    }
    EXPECT_EQ(ids.size(), session.timelines[0].clips.size());
}

TEST(SyncSources, AddsMissingSourcesInOrderOfFirstUse)
{
    Clip one = clip("1", "video", "Beach.mov");
    one.sourceId = " s1 ";
    Clip two = clip("2", "video", "Beach.mov");
    two.sourceId = "s1\n";
    Clip blank = clip("3", "video", "x.mov");
    blank.sourceId = "";
    Clip voice = clip("4", "audio", "Take (AUDIO)");
    voice.sourceId = "s2";
    Clip unnamed = clip("5");
    unnamed.sourceId = "s0";
    auto session = sessionWith({one, two, blank, voice, unnamed});
    session.syncSourcesFromTimelines();
    ASSERT_EQ(session.sources.size(), 3u);
    EXPECT_EQ(session.sources[0], (EditSession::Source{"s1", "Beach.mov", std::string("video")}));
    EXPECT_EQ(session.sources[1], (EditSession::Source{"s2", "Take", std::string("video")}));
    EXPECT_EQ(session.sources[2], (EditSession::Source{"s0", "media.mov", std::string("video")}));
}

TEST(SyncSources, KeepsExistingSourcesInPlace)
{
    Clip used = clip("1", std::nullopt, "still.png");
    used.sourceId = "new";
    Clip known = clip("2", "video", "other.mov");
    known.sourceId = "b";
    auto session = sessionWith({used, known});
    session.sources = {EditSession::Source{"z", "z.mov"}, EditSession::Source{"b", "b.mov"},
        EditSession::Source{"z", "z2.mov"}, EditSession::Source{"a", "a.mov"}};
    session.syncSourcesFromTimelines();
    ASSERT_EQ(session.sources.size(), 4u);
    EXPECT_EQ(session.sources[0].fileName, "z2.mov");
    EXPECT_EQ(session.sources[1].id, "b");
    EXPECT_EQ(session.sources[1].fileName, "b.mov");
    EXPECT_EQ(session.sources[2].id, "a");
    EXPECT_EQ(session.sources[3], (EditSession::Source{"new", "still.png", std::string("image")}));
}

TEST(SyncSources, RebuildOnlyWhenEmpty)
{
    Clip used = clip("1", "video", "a.mov");
    used.sourceId = "s1";
    auto session = sessionWith({used});
    session.sources = {EditSession::Source{"other", "o.mov"}};
    session.rebuildSourcesFromClipsIfNeeded();
    EXPECT_EQ(session.sources.size(), 1u);
    session.sources.clear();
    session.rebuildSourcesFromClipsIfNeeded();
    ASSERT_EQ(session.sources.size(), 1u);
    EXPECT_EQ(session.sources[0].id, "s1");
}
