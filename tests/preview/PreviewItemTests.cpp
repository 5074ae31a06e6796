// The preview composition built from generated media: which clip plays where, its sound, and
// the errors of a timeline whose media is missing.

#include <gtest/gtest.h>

#include "PlaybackTestSupport.h"
#include "model/DesktopJobTool.h"
#include "model/TimelineTrackKey.h"
#include "platform/media/PlayerItem.h"

namespace velmora::test {
namespace {

using Engine = TimelinePreviewEngine;

class PreviewItem : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        makeStampClip(path("a.mp4"), 4, 440);
        makeStampClip(path("big.mp4"), 4, 660, 320, 192);
        makeStampClip(path("tall.mp4"), 2, 0, 160, 96, 90);
        makeStampClip(path("silent.mp4"), 4, 0); // no sound: the file lasts exactly 4 s
        makeToneFile(path("tone.wav"), {{1000, 3}}, 48000, 2);
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::filesystem::path path(const std::string& name) { return *folder_ / name; }
    static const std::filesystem::path& folder() { return folder_->path(); }

    static std::vector<EditSession::Source> sources()
    {
        return {{"a", "a.mp4"}, {"big", "big.mp4"}, {"tall", "tall.mp4"}, {"silent", "silent.mp4"}, {"tone", "tone.wav"}};
    }
    static Engine::PlayerItemBuild build(const EditSession& session)
    {
        return Engine::makePlayerItem(session, folder(), 600, false, nullptr);
    }
    static const CompositionTrack& pictureTrack(const PlayerItem& item)
    {
        return *item.composition().tracks(MediaType::video).front();
    }

    // The frame-stamp number the item shows at each time, read from a player of the item.
    static std::vector<int> stampsAt(const std::shared_ptr<PlayerItem>& item, const std::vector<double>& times)
    {
        auto queue = std::make_shared<ManualMainQueue>();
        PlatformPreviewPlayer player(queue, item, std::make_shared<RecordingAudioSink>(std::make_shared<ManualClock>()));
        std::vector<int> stamps;
        for (double time : times) {
            bool landed = false;
            player.seek(MediaTime::fromSeconds(time, 600), MediaTime::zero(), MediaTime::zero(),
                        [&](bool finished) { landed = finished; });
            EXPECT_TRUE(queue->runUntil([&] { return landed; }, 20)) << time;
            stamps.push_back(stampShown(*player.videoOutput()));
        }
        return stamps;
    }

private:
    static inline std::unique_ptr<TempDir> folder_;
};

TEST_F(PreviewItem, EachPieceShowsItsClipAndFillsTheCanvasFromItsOwnSource)
{
    // A small clip, then a clip at twice its size cut from its second second, then the small
    // one again on lane 2 where lane 1 is empty: on a canvas of the large clip's size both
    // fill it, so every frame stamp reads back whole.
    auto session = sessionOf(sources(),
                             {sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "big", 2, 2, 1),
                              sourceClip("C", "video", "a", 3, 3, 0.5, 2)},
                             320, 192);
    const Engine::PlayerItemBuild built = build(*session);
    EXPECT_EQ(built.sourceTrack->width, 160);
    EXPECT_EQ(built.audioBusByClipId.size(), 3u) << "each clip's own sound, the lane-2 clip's once";
    EXPECT_TRUE(built.audioBusByClipId.contains("embed_C"));
    const VideoComposition& video = *built.item->videoComposition();
    EXPECT_EQ(video.renderWidth, 320);
    EXPECT_EQ(video.frameDuration, MediaTime(1, 30));

    // A: frames 0.. over [0, 2); B: its frames 30.. over [2, 4); C (lane 2, from 0.5 s, starting
    // at 3 s) only once lane 1 ends: its frame 15 + 30 at 4 s.
    EXPECT_EQ(stampsAt(built.item, {0.0, 1.5, 2.0, 3.5, 4.0, 5.9}),
              (std::vector<int>{0, 45, 30, 75, 45, 102}));
    EXPECT_EQ(built.item->duration(), MediaTime(6, 1));
    EXPECT_EQ(video.instructions.size(), 4u) << "one per fill, and the first source's for gaps";

    // Pieces in a row with the same fill share one instruction.
    const Engine::PlayerItemBuild alike = build(*sessionOf(
        sources(), {sourceClip("A", "video", "a", 0, 2), sourceClip("S", "video", "silent", 2, 2)}, 320, 192));
    ASSERT_EQ(alike.item->videoComposition()->instructions.size(), 2u);
    EXPECT_EQ(alike.item->videoComposition()->instructions[0].timeRange, MediaTimeRange(MediaTime::zero(), MediaTime(4, 1)));
}

TEST_F(PreviewItem, APortraitSourceFillsTheWidthAndIsCroppedEqually)
{
    auto session = sessionOf(sources(), {sourceClip("T", "video", "tall", 0, 2)});
    session->project.reset(); // no project: the canvas is 1920 × 1080
    const Engine::PlayerItemBuild built = build(*session);
    const VideoComposition& video = *built.item->videoComposition();
    EXPECT_EQ(video.renderWidth, 1920);
    EXPECT_EQ(video.renderHeight, 1080);
    // 160 × 96 turned upright is 96 × 160: scaled by 20 to 1920 wide, 3200 high, centred.
    const Rect shown = video.instructions.front().layerInstructions.front().transform.apply(Rect{0, 0, 160, 96});
    EXPECT_NEAR(shown.x, 0, 1e-9);
    EXPECT_NEAR(shown.width, 1920, 1e-9);
    EXPECT_NEAR(shown.y, (1080 - 3200) / 2.0, 1e-9);
    EXPECT_NEAR(shown.height, 3200, 1e-9);
}

TEST_F(PreviewItem, SpeedScalesThePieceAndANearlyNormalSpeedPlaysInItsPlace)
{
    EditSession::Clip fast = sourceClip("F", "video", "a", 0, 1.5);
    fast.speed = 2; // 1.5 s of timeline reads 3 s of source
    EditSession::Clip nearlyOne = sourceClip("N", "video", "big", 1.5, 2);
    nearlyOne.speed = 1.0009;
    EditSession::Clip crawl = sourceClip("S", "video", "silent", 3.5, 1);
    crawl.speed = 0.01;
    const Engine::PlayerItemBuild built = build(*sessionOf(sources(), {fast, nearlyOne, crawl}));
    const std::vector<CompositionTrackSegment>& edits = pictureTrack(*built.item).segments();
    ASSERT_EQ(edits.size(), 3u);
    EXPECT_EQ(edits[0].sourceRange, MediaTimeRange(MediaTime::zero(), MediaTime(3, 1)));
    EXPECT_EQ(edits[0].targetRange, MediaTimeRange(MediaTime::zero(), MediaTime(3, 2)));
    // Played unscaled, and no longer than its place: the next clip starts where it should.
    EXPECT_EQ(edits[1].sourceRange.duration, MediaTime(2, 1));
    EXPECT_EQ(edits[1].targetRange, MediaTimeRange(MediaTime(3, 2), MediaTime(2, 1)));
    // A speed of 0.01 plays at 1/16: 1 s of timeline reads 1/16 s of source.
    EXPECT_EQ(edits[2].sourceRange.duration, MediaTime::fromSeconds(0.0625, 600));
    EXPECT_EQ(edits[2].targetRange, MediaTimeRange(MediaTime(7, 2), MediaTime(1, 1)));
}

TEST_F(PreviewItem, PiecesStayInsideTheirFileAndSliversAreLeftOut)
{
    // A asks for 1 s from 3.99 s of a 4 s file: it starts 0.05 s before the end and keeps what is
    // left; B is 0.03 s long, less than a frame.
    const Engine::PlayerItemBuild built = build(*sessionOf(
        sources(), {sourceClip("A", "video", "silent", 0, 1, 3.99), sourceClip("B", "video", "big", 1, 0.03)}));
    const std::vector<CompositionTrackSegment>& edits = pictureTrack(*built.item).segments();
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].sourceRange, MediaTimeRange(MediaTime(395, 100), MediaTime(5, 100)));
    EXPECT_TRUE(edits[1].isEmpty()) << "the rest of the timeline is black";

    EXPECT_FALSE(build(*sessionOf(sources(), {sourceClip("B", "video", "big", 0, 0.03)})).sourceTrack.has_value());
}

TEST_F(PreviewItem, ARenderJobOfOneLanePlaysEveryClipWholeAndOtherwiseTheTopLaneWins)
{
    // Lane 1 from 0 to 3 s and another clip from 2 s: flattened, the later start wins at 2 s.
    auto flattened = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 3), sourceClip("B", "video", "big", 2, 2)});
    EXPECT_EQ(stampsAt(build(*flattened).item, {1.9, 2.5}), (std::vector<int>{57, 15}));

    // A render job inserts each whole: B goes in at 2 s and A's last second follows it.
    auto job = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 3), sourceClip("B", "video", "big", 2, 2)});
    job->tool = DesktopJobTool::browserExport;
    EXPECT_EQ(pictureTrack(*build(*job).item).segments().size(), 3u);
    job->timelines[0].clips[1].track = 2;
    EXPECT_EQ(pictureTrack(*build(*job).item).segments().size(), 2u) << "a second lane is flattened";
}

TEST_F(PreviewItem, AnAudioClipTakesOverTheSoundAndMutedLanesAreLeftOut)
{
    EditSession::Clip music = sourceClip("M", "audio", "tone", 0.5, 2, 0, 2);
    auto session = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 2), music});
    Engine::PlayerItemBuild built = build(*session);
    ASSERT_EQ(built.audioBusByClipId.size(), 1u);
    const int musicTrack = built.audioBusByClipId.at("M");
    const CompositionTrack& sound = *built.item->composition().track(musicTrack);
    EXPECT_EQ(sound.segments().back().targetRange, MediaTimeRange(MediaTime(1, 2), MediaTime(2, 1)));

    session->timelines[0].mutedTracks = {TimelineTrackKey::audio(2)};
    EXPECT_TRUE(build(*session).audioBusByClipId.empty());

    // Without audio clips a muted video lane loses its sound but keeps its picture.
    auto pictures = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 2)});
    pictures->timelines[0].mutedTracks = {TimelineTrackKey::video(1)};
    built = build(*pictures);
    EXPECT_TRUE(built.audioBusByClipId.empty());
    EXPECT_TRUE(built.sourceTrack.has_value());
    EXPECT_TRUE(built.item->audioMix()->inputParameters.empty());
}

TEST_F(PreviewItem, TheEnvelopeHoldsTheClipsGainWithItsFades)
{
    const auto volumeAt = [](const EditSession::Clip& clip, double seconds) {
        const Engine::PlayerItemBuild built = build(*sessionOf(sources(), {clip}));
        const AudioMixInputParameters* parameters =
            built.item->audioMix()->parametersForTrack(built.audioBusByClipId.at("embed_" + clip.id));
        return parameters->volume(MediaTime::fromSeconds(seconds, 600));
    };
    EditSession::Clip loud = sourceClip("A", "video", "a", 1, 2);
    loud.audioLevel = 7; // plays at the cap
    loud.fadeIn = 1;
    EXPECT_FLOAT_EQ(volumeAt(loud, 1.5), 2.0f);
    EXPECT_FLOAT_EQ(volumeAt(loud, 2.5), 4.0f);

    EditSession::Clip quick = sourceClip("A", "video", "a", 0, 2);
    quick.fadeIn = 0.02; // too short to ramp
    quick.audioLevel = 0.5;
    EXPECT_FLOAT_EQ(volumeAt(quick, 0.0), 0.5f);

    // A fade-out that leaves no room for a ramp or a hold still plays at the clip's gain: gain
    // 0 is silent.
    EditSession::Clip muted = sourceClip("A", "video", "a", 0, 0.52);
    muted.fadeOut = 0.5;
    muted.audioLevel = 0;
    EXPECT_FLOAT_EQ(volumeAt(muted, 0.3), 0.0f);
    muted.audioLevel = 0.25;
    EXPECT_FLOAT_EQ(volumeAt(muted, 0.3), 0.25f);

    // A lane-2 clip whose head lies under a lane-1 clip fades from its own start.
    EditSession::Clip under = sourceClip("U", "video", "big", 0, 4, 0, 2);
    under.fadeOut = 1;
    auto session = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 1), under});
    const Engine::PlayerItemBuild built = build(*session);
    const AudioMixInputParameters* fading = built.item->audioMix()->parametersForTrack(built.audioBusByClipId.at("embed_U"));
    EXPECT_FLOAT_EQ(fading->volume(MediaTime(7, 2)), 0.5f);
}

TEST_F(PreviewItem, TheItemLastsAsLongAsItsTimelineAndAnEmptyOneHasNothing)
{
    auto session = sessionOf(sources(), {sourceClip("A", "video", "a", 0, 2)});
    session->timelines[0].duration = 5; // a gap after the last clip
    EXPECT_EQ(build(*session).item->duration(), MediaTime(5, 1));

    auto empty = sessionOf(sources(), {});
    const Engine::PlayerItemBuild nothing = build(*empty);
    EXPECT_EQ(nothing.item->duration(), MediaTime::zero());
    EXPECT_FALSE(nothing.item->videoComposition().has_value());
    EXPECT_TRUE(nothing.item->audioMix()->inputParameters.empty());
    EXPECT_FALSE(nothing.sourceTrack.has_value());
    EXPECT_EQ(nothing.transform, AffineTransform::identity());
}

TEST_F(PreviewItem, MissingMediaAndSessionsWithoutATimelineFailWithTheirCodes)
{
    const auto failure = [](const EditSession& session, const std::filesystem::path& mediaFolder) -> Error {
        try {
            Engine::makePlayerItem(session, mediaFolder, 600, false, nullptr);
        } catch (const Error& error) {
            return error;
        }
        return Error("none", 0, "built");
    };
    EditSession none;
    EXPECT_EQ(failure(none, folder()).fullDescription(),
              "Error Domain=preview Code=1 \"No active timeline in session\"");

    // Seven sources missing: the first five in the pool's order; a source no clip uses does
    // not count.
    std::vector<EditSession::Source> pool = sources();
    std::vector<EditSession::Clip> clips{sourceClip("A", "video", "a", 0, 1)};
    for (int i = 7; i >= 1; --i) {
        const std::string id = "m" + std::to_string(i);
        pool.push_back({id, "missing" + std::to_string(i) + ".mp4"});
        clips.push_back(sourceClip("C" + std::to_string(i), "video", id, i, 1));
    }
    pool.push_back({"unused", "unused.mp4"});
    EXPECT_EQ(failure(*sessionOf(pool, clips), folder()).fullDescription(),
              "Error Domain=preview Code=10 \"Media not found for timeline clips: missing7.mp4, missing6.mp4, "
              "missing5.mp4, missing4.mp4, missing3.mp4. Use Media Folder… or relink.\"");

    TempDir emptyFolder;
    const Error noMedia = failure(*sessionOf(sources(), {sourceClip("A", "video", "a", 0, 1)}), emptyFolder.path());
    EXPECT_EQ(noMedia.domain(), "preview");
    EXPECT_EQ(noMedia.code(), 11);
}

TEST_F(PreviewItem, TheGradeContextIsHandedBackEmptyOnceASuccessfulBuild)
{
    int calls = 0;
    bool empty = false;
    const Engine::GradeContextHolder holder = [&](std::shared_ptr<const GradeCompositionContext> context) {
        ++calls;
        empty = context == nullptr;
    };
    Engine::makePlayerItem(*sessionOf(sources(), {sourceClip("A", "video", "a", 0, 1)}), folder(), 600, true, holder);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(empty);
    EXPECT_THROW(Engine::makePlayerItem(EditSession(), folder(), 600, true, holder), Error);
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace velmora::test
