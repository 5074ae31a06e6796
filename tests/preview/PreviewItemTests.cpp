// The preview composition built from generated media.

#include <gtest/gtest.h>

#include "PlaybackTestSupport.h"
#include "model/DesktopJobTool.h"
#include "model/TimelineTrackKey.h"
#include "platform/media/PlayerItem.h"
#include "preview/PreviewPlayerItem.h"

namespace velmora::test {
namespace {

namespace Item = PreviewPlayerItem;

class PreviewItem : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        makeStampClip(*folder_ / "a.mp4", 4, 440);
        makeStampClip(*folder_ / "big.mp4", 4, 660, 320, 192);
        makeStampClip(*folder_ / "tall.mp4", 2, 0, 160, 96, 90);
        makeStampClip(*folder_ / "silent.mp4", 4, 0); // without sound it lasts exactly 4 s
        makeToneFile(*folder_ / "tone.wav", {{1000, 3}}, 48000, 2);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::shared_ptr<EditSession> session(std::vector<EditSession::Clip> clips, int width = 160, int height = 96)
    {
        return sessionOf({{"a", "a.mp4"}, {"big", "big.mp4"}, {"tall", "tall.mp4"}, {"silent", "silent.mp4"},
                          {"tone", "tone.wav"}},
                         std::move(clips), width, height);
    }
    static Item::PlayerItemBuild build(const EditSession& session)
    {
        return Item::makePlayerItem(session, folder_->path(), 600, false, nullptr);
    }
    static const std::vector<CompositionTrackSegment>& pictureEdits(const Item::PlayerItemBuild& built)
    {
        return built.item->composition().tracks(MediaType::video).front()->segments();
    }
    // The frame stamps a player of the item shows at the times.
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

    static inline std::unique_ptr<TempDir> folder_;
};

TEST_F(PreviewItem, EachPieceShowsItsClipAndFillsTheCanvasFromItsOwnSource)
{
    // A small clip, a clip of twice its size from its second second, and the small one again on
    // lane 2 from 0.5 s, seen once lane 1 ends. On the large clip's canvas both sizes fill it,
    // so every stamp reads back whole; the cuts meet exactly.
    int contexts = 0;
    const Item::PlayerItemBuild built = Item::makePlayerItem(
        *session({sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "big", 2, 2, 1),
                  sourceClip("C", "video", "a", 3, 3, 0.5, 2)},
                 320, 192),
        folder_->path(), 600, true, [&](std::shared_ptr<const GradeCompositionContext> context) {
            contexts += context ? 100 : 1;
        });
    EXPECT_EQ(contexts, 1) << "one empty grade context";
    EXPECT_EQ(stampsAt(built.item, {0.0, 1.5, 2.0, 3.5, 4.0, 5.9}), (std::vector<int>{0, 45, 30, 75, 45, 102}));
    EXPECT_EQ(built.sourceTrack->width, 160);
    EXPECT_EQ(built.audioBusByClipId.size(), 3u) << "each clip's own sound";
    const VideoComposition& video = *built.item->videoComposition();
    EXPECT_EQ(video.frameDuration, MediaTime(1, 30));
    EXPECT_EQ(video.instructions.size(), 4u) << "one per fill, then the first source's for gaps";

    // Pieces in a row with the same fill share one instruction.
    const Item::PlayerItemBuild alike =
        build(*session({sourceClip("A", "video", "a", 0, 2), sourceClip("S", "video", "silent", 2, 2)}, 320, 192));
    EXPECT_EQ(alike.item->videoComposition()->instructions.front().timeRange,
              MediaTimeRange(MediaTime::zero(), MediaTime(4, 1)));
}

TEST_F(PreviewItem, APortraitSourceFillsTheWidthOfTheDefaultCanvas)
{
    auto portrait = session({sourceClip("T", "video", "tall", 0, 2)});
    portrait->project.reset();
    const Item::PlayerItemBuild built = build(*portrait);
    const VideoComposition& video = *built.item->videoComposition();
    EXPECT_EQ(video.renderWidth, 1920);
    EXPECT_EQ(video.renderHeight, 1080);
    // 160 × 96 turned upright is 96 × 160: scaled by 20 and centred.
    const Rect shown = video.instructions.front().layerInstructions.front().transform.apply(Rect{0, 0, 160, 96});
    EXPECT_EQ(shown, (Rect{0, -1060, 1920, 3200}));
}

TEST_F(PreviewItem, SpeedsFileEndsAndSlivers)
{
    EditSession::Clip fast = sourceClip("F", "video", "a", 0, 1.5);
    fast.speed = 2;
    EditSession::Clip nearlyOne = sourceClip("N", "video", "big", 1.5, 2);
    nearlyOne.speed = 1.0009; // scaled as the frame rule reads it, into exactly its place
    EditSession::Clip crawl = sourceClip("S", "video", "a", 3.5, 1);
    crawl.speed = 0.01; // plays at 1/16
    EditSession::Clip late = sourceClip("L", "video", "silent", 4.5, 1, 3.99);
    EditSession::Clip sliver = sourceClip("X", "video", "big", 5.5, 0.03);
    const Item::PlayerItemBuild built = build(*session({fast, nearlyOne, crawl, late, sliver}));
    const std::vector<CompositionTrackSegment>& edits = pictureEdits(built);
    ASSERT_EQ(edits.size(), 5u);
    EXPECT_EQ(edits[0].sourceRange, MediaTimeRange(MediaTime(0, 1), MediaTime(3, 1)));
    EXPECT_EQ(edits[0].targetRange, MediaTimeRange(MediaTime(0, 1), MediaTime(3, 2)));
    EXPECT_EQ(edits[1].sourceRange.duration, MediaTime(20018, 10000));
    EXPECT_EQ(edits[1].targetRange, MediaTimeRange(MediaTime(3, 2), MediaTime(2, 1)));
    EXPECT_EQ(edits[2].sourceRange.duration, MediaTime(1, 16)); // exact on the item's ticks
    EXPECT_EQ(edits[2].targetRange, MediaTimeRange(MediaTime(7, 2), MediaTime(1, 1)));
    // A clip whose first frame would read at or past its file's last frame is black throughout,
    // as on every export; a sliver shows the one frame that starts within it.
    EXPECT_TRUE(edits[3].isEmpty());
    EXPECT_EQ(edits[3].targetRange, MediaTimeRange(MediaTime(9, 2), MediaTime(1, 1)));
    EXPECT_EQ(edits[4].sourceRange, MediaTimeRange(MediaTime(0, 1), MediaTime(3, 100)));
    EXPECT_EQ(edits[4].targetRange, MediaTimeRange(MediaTime(11, 2), MediaTime(3, 100)));
}

TEST_F(PreviewItem, ARenderJobOfOneLaneShowsWhatItsExportShows)
{
    // Overlapping clips on one lane: the later start is on top, for a render job as for any
    // timeline, and nothing after it moves.
    auto job = session({sourceClip("A", "video", "a", 0, 3), sourceClip("B", "video", "big", 2, 2)});
    EXPECT_EQ(stampsAt(build(*job).item, {1.9, 2.5}), (std::vector<int>{57, 15})) << "the later start";
    job->tool = DesktopJobTool::browserExport;
    const Item::PlayerItemBuild built = build(*job);
    EXPECT_EQ(stampsAt(built.item, {1.9, 2.5, 3.9}), (std::vector<int>{57, 15, 57}));
    EXPECT_EQ(pictureEdits(built).size(), 2u);
}

TEST_F(PreviewItem, AnAudioClipTakesOverTheSoundAndMutedLanesAreLeftOut)
{
    auto mixed = session({sourceClip("A", "video", "a", 0, 2), sourceClip("M", "audio", "tone", 0.5, 2, 0, 2)});
    const Item::PlayerItemBuild built = build(*mixed);
    ASSERT_EQ(built.audioBusByClipId.size(), 1u);
    EXPECT_EQ(built.item->composition().track(built.audioBusByClipId.at("M"))->segments().back().targetRange,
              MediaTimeRange(MediaTime(1, 2), MediaTime(2, 1)));
    // Sound at 2× longer than its 3 s file plays it in 1.5 s and stops, never stretched.
    EditSession::Clip fast = sourceClip("F", "audio", "tone", 0, 3, 0, 2);
    fast.speed = 2;
    const Item::PlayerItemBuild sped = build(*session({fast}));
    EXPECT_EQ(sped.item->composition().track(sped.audioBusByClipId.at("F"))->segments().back().targetRange,
              MediaTimeRange(MediaTime(0, 1), MediaTime(3, 2)));
    mixed->timelines[0].mutedTracks = {TimelineTrackKey::audio(2)};
    EXPECT_TRUE(build(*mixed).audioBusByClipId.empty());

    auto pictures = session({sourceClip("A", "video", "a", 0, 2)});
    pictures->timelines[0].mutedTracks = {TimelineTrackKey::video(1)};
    const Item::PlayerItemBuild mutedPicture = build(*pictures);
    EXPECT_TRUE(mutedPicture.audioBusByClipId.empty());
    EXPECT_TRUE(mutedPicture.sourceTrack.has_value()) << "a muted video lane keeps its picture";
}

TEST_F(PreviewItem, TheEnvelopeHoldsTheClipsGainWithItsFades)
{
    const auto volumeAt = [](const std::vector<EditSession::Clip>& clips, const std::string& key, double seconds) {
        const Item::PlayerItemBuild built = build(*session(clips));
        return built.item->audioMix()->parametersForTrack(built.audioBusByClipId.at(key))->volume(
            MediaTime::fromSeconds(seconds, 600));
    };
    EditSession::Clip loud = sourceClip("A", "video", "a", 1, 2);
    loud.audioLevel = 7; // plays at the cap of 4
    loud.fadeIn = 1;
    EXPECT_FLOAT_EQ(volumeAt({loud}, "embed_A", 1.5), 2.0f);
    EXPECT_FLOAT_EQ(volumeAt({loud}, "embed_A", 2.5), 4.0f);

    // Fades that leave room for no ramp at all still play the clip's gain: 0 is silent.
    EditSession::Clip quiet = sourceClip("A", "video", "a", 0, 0.52);
    quiet.fadeIn = 0.02;
    quiet.fadeOut = 0.5;
    quiet.audioLevel = 0;
    EXPECT_FLOAT_EQ(volumeAt({quiet}, "embed_A", 0.3), 0.0f);

    // A lane-2 clip whose head lies under a lane-1 clip fades out from its own start.
    EditSession::Clip under = sourceClip("U", "video", "big", 0, 4, 0, 2);
    under.fadeOut = 1;
    EXPECT_FLOAT_EQ(volumeAt({sourceClip("A", "video", "a", 0, 1), under}, "embed_U", 3.5), 0.5f);
}

TEST_F(PreviewItem, TheItemLastsAsLongAsItsTimelineAndAnEmptyOneHasNothing)
{
    auto gapAtTheEnd = session({sourceClip("A", "video", "a", 0, 2)});
    gapAtTheEnd->timelines[0].duration = 5;
    EXPECT_EQ(build(*gapAtTheEnd).item->duration(), MediaTime(5, 1)) << "playback runs to the timeline's end";

    const Item::PlayerItemBuild nothing = build(*session({}));
    EXPECT_EQ(nothing.item->duration(), MediaTime::zero());
    EXPECT_FALSE(nothing.item->videoComposition().has_value());
    EXPECT_TRUE(nothing.item->audioMix()->inputParameters.empty());
    EXPECT_FALSE(nothing.sourceTrack.has_value());
}

TEST_F(PreviewItem, MissingMediaAndSessionsWithoutATimelineFailWithTheirCodes)
{
    const auto failure = [](const EditSession& session, const std::filesystem::path& folder) {
        try {
            Item::makePlayerItem(session, folder, 600, false, nullptr);
        } catch (const Error& error) {
            return error.fullDescription();
        }
        return std::string("built");
    };
    EXPECT_EQ(failure(EditSession(), folder_->path()), "Error Domain=preview Code=1 \"No active timeline in session\"");

    // Seven sources missing: the first five in the pool's order; one no clip uses never counts.
    auto missing = session({sourceClip("A", "video", "a", 0, 1)});
    for (int i = 7; i >= 1; --i) {
        missing->sources.push_back({"m" + std::to_string(i), "missing" + std::to_string(i) + ".mp4"});
        missing->timelines[0].clips.push_back(sourceClip("C" + std::to_string(i), "video", "m" + std::to_string(i), i, 1));
    }
    missing->sources.push_back({"unused", "unused.mp4"});
    EXPECT_EQ(failure(*missing, folder_->path()),
              "Error Domain=preview Code=10 \"Media not found for timeline clips: missing7.mp4, missing6.mp4, "
              "missing5.mp4, missing4.mp4, missing3.mp4. Use Media Folder… or relink.\"");

    TempDir empty;
    EXPECT_TRUE(failure(*session({}), empty.path()).starts_with("Error Domain=preview Code=11 "));
}

} // namespace
} // namespace velmora::test
