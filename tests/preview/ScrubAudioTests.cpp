// What a scrub burst sounds at an instant, and how bursts start, last and stop (fake players).

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "model/TimelineTrackKey.h"
#include "preview/PreviewPlayerItem.h"

namespace velmora::test {
namespace {

using Segment = TimelineScrubAudio::Segment;

// The ids of the segments at the playhead, over a media folder of empty files (the resolver
// goes by names only).
std::vector<std::string> soundingAt(std::vector<EditSession::Clip> clips, double playhead,
                                    std::vector<std::string> muted = {}, std::vector<Segment>* segments = nullptr)
{
    TempDir media;
    auto session = sessionWith(std::move(clips));
    for (const std::string name : {"v", "t1", "t2", "t3"}) {
        writeTextFile(media / (name + (name == "v" ? ".mp4" : ".wav")), "");
        session->sources.push_back({name, name + (name == "v" ? ".mp4" : ".wav")});
    }
    for (EditSession::Clip& clip : session->timelines[0].clips) {
        clip.sourceId = clip.name.value_or("v");
    }
    session->timelines[0].mutedTracks = std::move(muted);
    const std::vector<Segment> found =
        PreviewPlayerItem::scrubAudioSegments(*session, MediaResolver::sourceFileMap(*session, media.path()), playhead);
    std::vector<std::string> ids;
    for (const Segment& segment : found) {
        ids.push_back(segment.id);
    }
    if (segments) {
        *segments = found;
    }
    return ids;
}

// An audio clip of source `source` (its name names the source).
EditSession::Clip sound(std::string id, double start, double duration, int lane, std::string source = "t1")
{
    return clip(std::move(id), "audio", start, duration, lane, std::move(source));
}

TEST(ScrubAudioSegments, TheLowestAudibleLanesSoundOrElseThePicture)
{
    const std::vector<EditSession::Clip> lanes{clip("V", "video", 0, 4), sound("L3", 0, 4, 3, "t3"),
                                               sound("L1", 0, 4, 1), sound("L2", 0, 4, 2, "t2")};
    EXPECT_EQ(soundingAt(lanes, 1.5), (std::vector<std::string>{"L1", "L2"}));
    EXPECT_EQ(soundingAt(lanes, 1.5, {TimelineTrackKey::audio(1)}), (std::vector<std::string>{"L2", "L3"}));
    // Ending at the playhead is silent; starting there sounds.
    EXPECT_EQ(soundingAt({sound("E", 0, 2, 1), sound("S", 2, 2, 2)}, 2), (std::vector<std::string>{"S"}));

    // A quarter into a 1 s fade-in at gain 2: volume 0.5, from the in point on.
    EditSession::Clip fading = sound("F", 1, 4, 1);
    fading.fadeIn = 1;
    fading.audioLevel = 2;
    fading.inPoint = 3;
    std::vector<Segment> segments;
    soundingAt({fading}, 1.25, {}, &segments);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].url.filename(), "t1.wav");
    EXPECT_FLOAT_EQ(segments[0].volume, 0.5f);
    EXPECT_EQ(segments[0].sourceSeconds, 3.25);
    fading.audioLevel = 0;
    EXPECT_TRUE(soundingAt({fading}, 3).empty());

    // Without audio clips the winning picture sounds, unless its lane is muted.
    const std::vector<EditSession::Clip> pictures{clip("V", "video", 0, 4), clip("W", "video", 1, 2, 2)};
    EXPECT_EQ(soundingAt(pictures, 1.5), (std::vector<std::string>{"embed_V"}));
    EXPECT_TRUE(soundingAt(pictures, 1.5, {TimelineTrackKey::video(1)}).empty());
}

struct BurstFixture {
    std::shared_ptr<FakePreviewPlayer> player(std::size_t index) const { return opened.at(index).second; }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::vector<std::pair<std::filesystem::path, std::shared_ptr<FakePreviewPlayer>>> opened;
    std::shared_ptr<TimelineScrubAudio> scrub =
        std::make_shared<TimelineScrubAudio>(queue, [this](const std::filesystem::path& file) {
            opened.push_back({file, std::make_shared<FakePreviewPlayer>(queue, 10)});
            return opened.back().second;
        });
};

TEST(ScrubAudioBursts, ABurstPlaysFromItsSourceTimeForItsLength)
{
    BurstFixture f;
    f.scrub->playBurst({{"M", "/m.wav", 1.5, 0.8f}, {"quiet", "/q.wav", 0, 0.0005f}}, 0.12);
    ASSERT_EQ(f.opened.size(), 1u) << "a segment of volume 0.0005 is not played";
    const auto player = f.player(0);
    EXPECT_EQ(player->volumes, (std::vector<float>{0.8f}));
    EXPECT_EQ(player->seeks.at(0).seconds, 1.5);
    EXPECT_EQ(player->seeks.at(0).toleranceSeconds, 0.0);
    EXPECT_EQ(player->rate(), 0.0) << "it plays once its seek has landed";
    f.queue->runUntilIdle();
    f.queue->advance(0.119);
    EXPECT_EQ(player->rate(), 1.0);
    f.queue->advance(0.002);
    EXPECT_EQ(player->rate(), 0.0);

    f.scrub->playBurst({{"M", "/m.wav", 2, 1}}, 0.01); // the shortest burst lasts 0.03 s
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
    EXPECT_EQ(f.scrub->playerCount(), 1u);
    for (const std::string id : {"A", "B", "C", "D"}) {
        f.scrub->playBurst({{id, "/" + id + ".wav", 0, 1}}, 0.1);
    }
    EXPECT_EQ(f.scrub->playerCount(), TimelineScrubAudio::maximumPlayers);
    f.scrub->playBurst({{"A", "/A.wav", 0, 1}}, 0.1);
    EXPECT_EQ(f.opened.size(), 6u) << "M, used longest ago, made room for D; A was kept";
}

} // namespace
} // namespace velmora::test
