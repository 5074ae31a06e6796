// What a scrub burst sounds at an instant, and how bursts start, last and stop (fake players).

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "model/TimelineTrackKey.h"

namespace velmora::test {
namespace {

using Segment = TimelineScrubAudio::Segment;

struct SegmentsFixture {
    SegmentsFixture()
    {
        for (const char* name : {"v.mp4", "t1.wav", "t2.wav", "t3.wav"}) {
            writeTextFile(media / name, ""); // the resolver goes by names only
        }
    }
    std::vector<Segment> at(const std::vector<EditSession::Clip>& clips, double playhead,
                            std::vector<std::string> muted = {}) const
    {
        auto session = sessionWith(clips);
        session->sources = {{"v", "v.mp4"}, {"t1", "t1.wav"}, {"t2", "t2.wav"}, {"t3", "t3.wav"}};
        session->timelines[0].mutedTracks = std::move(muted);
        return TimelinePreviewEngine::scrubAudioSegments(*session, media.path(), playhead);
    }
    static EditSession::Clip of(EditSession::Clip clip, std::string sourceId)
    {
        clip.sourceId = std::move(sourceId);
        return clip;
    }
    static std::vector<std::string> ids(const std::vector<Segment>& segments)
    {
        std::vector<std::string> result;
        for (const Segment& segment : segments) {
            result.push_back(segment.id);
        }
        return result;
    }
    TempDir media;
};

TEST(ScrubAudioSegments, AudioClipsOfTheLowestLanesSoundUnderThePlayhead)
{
    SegmentsFixture f;
    const std::vector<EditSession::Clip> clips{
        f.of(clip("V", "video", 0, 4), "v"), f.of(clip("L3", "audio", 0, 4, 3), "t3"),
        f.of(clip("L1", "audio", 0, 4, 1), "t1"), f.of(clip("L2", "audio", 0, 4, 2), "t2")};
    const std::vector<Segment> segments = f.at(clips, 1.5);
    EXPECT_EQ(SegmentsFixture::ids(segments), (std::vector<std::string>{"L1", "L2"}));
    EXPECT_EQ(segments[0].url, f.media.path() / "t1.wav");
    EXPECT_EQ(segments[0].sourceSeconds, 1.5);
    EXPECT_EQ(segments[0].volume, 1.0f);
    EXPECT_EQ(SegmentsFixture::ids(f.at(clips, 1.5, {TimelineTrackKey::audio(1)})),
              (std::vector<std::string>{"L2", "L3"}));

    // A clip that ends at the playhead is silent; one that starts there sounds.
    EXPECT_EQ(SegmentsFixture::ids(f.at({f.of(clip("E", "audio", 0, 2), "t1"), f.of(clip("S", "audio", 2, 2, 2), "t2")}, 2)),
              (std::vector<std::string>{"S"}));
}

TEST(ScrubAudioSegments, GainAndFadesSetTheVolumeAndSilentClipsAreSkipped)
{
    SegmentsFixture f;
    EditSession::Clip fading = f.of(clip("F", "audio", 1, 4), "t1");
    fading.fadeIn = 1;
    fading.audioLevel = 2;
    fading.inPoint = 3;
    const std::vector<Segment> segments = f.at({fading}, 1.25);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_FLOAT_EQ(segments[0].volume, 0.5f); // a quarter of the way into the fade
    EXPECT_EQ(segments[0].sourceSeconds, 3.25);

    fading.audioLevel = 0;
    EXPECT_TRUE(f.at({fading}, 3).empty());
}

TEST(ScrubAudioSegments, WithoutAudioClipsThePictureSoundsUnlessItsLaneIsMuted)
{
    SegmentsFixture f;
    const std::vector<EditSession::Clip> pictures{f.of(clip("V", "video", 0, 4), "v"),
                                                  f.of(clip("W", "video", 1, 2, 2), "v")};
    EXPECT_EQ(SegmentsFixture::ids(f.at(pictures, 1.5)), (std::vector<std::string>{"embed_V"}));
    EXPECT_TRUE(f.at(pictures, 1.5, {TimelineTrackKey::video(1)}).empty());

    // One clip recognised as sound only by its name turns the pictures' own sound off.
    EditSession::Clip named = f.of(clip("N", "", 3, 1, 2, "Voice (Audio)"), "t1");
    named.type.reset();
    EXPECT_TRUE(f.at({pictures[0], named}, 1.5).empty());
}

// Fake players, one per file opened, recorded in order.
struct BurstFixture {
    BurstFixture()
        : scrub(std::make_shared<TimelineScrubAudio>(queue, [this](const std::filesystem::path& file) {
              auto player = std::make_shared<FakePreviewPlayer>(queue, 10);
              opened.push_back({file, player});
              return player;
          }))
    {
    }
    std::shared_ptr<FakePreviewPlayer> player(std::size_t index) const { return opened.at(index).second; }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::vector<std::pair<std::filesystem::path, std::shared_ptr<FakePreviewPlayer>>> opened;
    std::shared_ptr<TimelineScrubAudio> scrub;
};

TEST(ScrubAudioBursts, ABurstPlaysFromItsSourceTimeForItsLength)
{
    BurstFixture f;
    f.scrub->playBurst({{"M", "/m.wav", 1.5, 0.8f}, {"quiet", "/q.wav", 0, 0.0005f}}, 0.12);
    ASSERT_EQ(f.opened.size(), 1u) << "a segment of volume 0.0005 is not played";
    const auto player = f.player(0);
    EXPECT_EQ(player->volumes, (std::vector<float>{0.8f}));
    ASSERT_EQ(player->seeks.size(), 1u);
    EXPECT_EQ(player->seeks[0].seconds, 1.5);
    EXPECT_EQ(player->seeks[0].toleranceSeconds, 0.0);
    EXPECT_EQ(player->rate(), 0.0) << "it plays once its seek has landed";
    f.queue->runUntilIdle();
    EXPECT_EQ(player->rate(), 1.0);
    f.queue->advance(0.119);
    EXPECT_EQ(player->rate(), 1.0);
    f.queue->advance(0.002);
    EXPECT_EQ(player->rate(), 0.0);

    // The shortest burst lasts 0.03 s.
    f.scrub->playBurst({{"M", "/m.wav", 2, 1}}, 0.01);
    f.queue->runUntilIdle();
    f.queue->advance(0.029);
    EXPECT_EQ(player->rate(), 1.0);
    f.queue->advance(0.002);
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_EQ(f.opened.size(), 1u) << "the player is kept for the same file";
}

TEST(ScrubAudioBursts, ASecondBurstExtendsTheFirstAndStopAllSilencesEverything)
{
    BurstFixture f;
    f.scrub->playBurst({{"M", "/m.wav", 1, 1}, {"N", "/n.wav", 1, 1}}, 0.12);
    f.queue->runUntilIdle();
    f.queue->advance(0.1);
    f.scrub->playBurst({{"M", "/m.wav", 1.1, 1}}, 0.12);
    f.queue->runUntilIdle();
    f.queue->advance(0.05); // past the first burst's end
    EXPECT_EQ(f.player(0)->rate(), 1.0);
    EXPECT_EQ(f.player(1)->rate(), 0.0);
    f.scrub->stopAll();
    EXPECT_EQ(f.player(0)->rate(), 0.0);
    f.player(0)->play();
    f.queue->advance(1);
    EXPECT_EQ(f.player(0)->rate(), 1.0) << "stopAll cancels the pending stops";
}

TEST(ScrubAudioBursts, ARelinkedClipGetsAFreshPlayerAndOnlyFourAreKept)
{
    BurstFixture f;
    f.scrub->playBurst({{"M", "/m.wav", 0, 1}}, 0.1);
    f.scrub->playBurst({{"M", "/other.wav", 0, 1}}, 0.1);
    ASSERT_EQ(f.opened.size(), 2u);
    EXPECT_EQ(f.opened[1].first, "/other.wav");
    EXPECT_EQ(f.scrub->playerCount(), 1u);

    for (const char* id : {"A", "B", "C", "D"}) {
        f.scrub->playBurst({{id, std::string("/") + id + ".wav", 0, 1}}, 0.1);
    }
    EXPECT_EQ(f.scrub->playerCount(), TimelineScrubAudio::maximumPlayers);
    f.scrub->playBurst({{"A", "/A.wav", 0, 1}}, 0.1);
    EXPECT_EQ(f.opened.size(), 6u) << "A was kept: M, used longest ago, made room for D";
}

} // namespace
} // namespace velmora::test
