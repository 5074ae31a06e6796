#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "export/TimelineAudioMix.h"
#include "platform/media/AudioMixRenderer.h"
#include "support/AudioFixtures.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using Clip = EditorJobV2::Clip;

constexpr int kRate = AudioMixRenderer::sampleRate;
constexpr double kLevel = 0.125;

Clip audioClip(const std::string& sourceId, int lane, double start, double duration)
{
    Clip clip;
    clip.id = sourceId + "@" + std::to_string(start);
    clip.type = "audio";
    clip.sourceId = sourceId;
    clip.track = lane;
    clip.startTime = start;
    clip.duration = duration;
    return clip;
}

MediaTime sec(double seconds, std::int32_t timescale = 30)
{
    return MediaTime::fromSeconds(seconds, timescale);
}

MediaTimeRange span(double start, double duration, std::int32_t timescale = 30)
{
    return MediaTimeRange(sec(start, timescale), sec(duration, timescale));
}

std::vector<const CompositionTrackSegment*> mediaSegments(const CompositionTrack& track)
{
    std::vector<const CompositionTrackSegment*> result;
    for (const CompositionTrackSegment& segment : track.segments()) {
        if (!segment.isEmpty()) {
            result.push_back(&segment);
        }
    }
    return result;
}

class TimelineAudioMixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<test::TempDir>();
        test::makeToneFile(*folder_ / "long.wav", {{440, 12}}, 8000, 1);
        test::makeToneFile(*folder_ / "music.wav", {{440, 6}}, 48000, 1);
        test::makeToneFile(*folder_ / "voice.wav", {{880, 4}}, 48000, 2);
        test::makeToneFile(*folder_ / "steps.wav", {{440, 1}, {880, 1}, {660, 1}}, 48000, 1);
        const test::CommandResult video = test::runCommand(
            "ffmpeg -y -hide_banner -loglevel error -f lavfi -i testsrc2=size=32x32:rate=5:duration=1 -c:v mpeg4 "
            + test::shellQuote((*folder_ / "picture.mp4").string()));
        ASSERT_EQ(video.exitCode, 0) << video.output;
        test::writeTextFile(*folder_ / "broken.wav", "not a sound file");
    }
    static void TearDownTestSuite() { folder_.reset(); }

    void SetUp() override
    {
        for (const char* name : {"long", "music", "voice", "steps", "picture", "broken"}) {
            const std::string extension = std::string(name) == "picture" ? ".mp4" : ".wav";
            files_[name] = *folder_ / (std::string(name) + extension);
        }
        files_["gone"] = *folder_ / "gone.wav";
    }

    // The media pieces on the first audio lane of `mix`; none, with a failure, when nothing was built.
    // The media segments of the first lane; the fixture keeps the mix they point into.
    std::vector<const CompositionTrackSegment*> firstLaneSegments(std::optional<TimelineAudioMix> mix)
    {
        held_ = std::move(mix);
        if (!held_) {
            ADD_FAILURE() << "no audio mix was built";
            return {};
        }
        return mediaSegments(*held_->composition.tracks(MediaType::audio)[0]);
    }

    std::optional<TimelineAudioMix> build(const std::vector<Clip>& clips, std::int32_t timescale = 30)
    {
        return makeTimelineAudioMix(clips, files_, timescale);
    }

    static std::vector<float> render(const TimelineAudioMix& mix)
    {
        AudioMixRenderer renderer(mix.composition, mix.audioMix);
        std::vector<float> samples;
        while (auto chunk = renderer.nextChunk()) {
            samples.insert(samples.end(), chunk->samples.begin(), chunk->samples.end());
        }
        EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::completed);
        return samples;
    }

    static double level(const std::vector<float>& samples, double frequency, double from, double to)
    {
        const auto first = static_cast<std::int64_t>(std::llround(from * kRate));
        const auto last = static_cast<std::int64_t>(std::llround(to * kRate));
        return test::toneAmplitude(samples, 2, 0, first, last - first, frequency, kRate);
    }

    static std::unique_ptr<test::TempDir> folder_;
    std::map<std::string, std::filesystem::path> files_;
    std::optional<TimelineAudioMix> held_;
};

std::unique_ptr<test::TempDir> TimelineAudioMixTest::folder_;

// Which clips take part

TEST_F(TimelineAudioMixTest, ATimelineWithoutAudioClipsHasNoAudio)
{
    Clip video = audioClip("picture", 1, 0, 1);
    video.type = "video";
    Clip text;
    text.type = "text";
    text.duration = 2;
    EXPECT_FALSE(build({video, text}));
    EXPECT_FALSE(build({}));
}

TEST_F(TimelineAudioMixTest, ClipsThatCannotSoundAreLeftOutWithoutError)
{
    Clip noSource = audioClip("music", 1, 0, 1);
    noSource.sourceId.reset();
    Clip noType = audioClip("music", 1, 0, 1);
    noType.type.reset();
    EXPECT_FALSE(build({audioClip("unmapped", 1, 0, 1), audioClip("picture", 1, 0, 1), audioClip("music", 1, 0, 0),
                        audioClip("music", 1, 0, -2), noSource, noType}));
}

TEST_F(TimelineAudioMixTest, AMissingFileDoesNotStopTheOtherClips)
{
    const auto mix = build({audioClip("unmapped", 1, 0, 1), audioClip("music", 2, 1, 2)});
    ASSERT_TRUE(mix);
    ASSERT_EQ(mix->composition.tracks(MediaType::audio).size(), 1u);
    EXPECT_EQ(mix->composition.duration(), sec(3));
}

// Lanes and positions

TEST_F(TimelineAudioMixTest, OneTrackAndOneParameterSetPerLane)
{
    const auto mix = build({audioClip("music", 2, 0, 1), audioClip("voice", 1, 0.5, 1), audioClip("music", 2, 2, 1)});
    ASSERT_TRUE(mix);
    const auto tracks = mix->composition.tracks(MediaType::audio);
    ASSERT_EQ(tracks.size(), 2u);
    ASSERT_EQ(mix->audioMix.inputParameters.size(), 2u);
    EXPECT_EQ(mix->audioMix.inputParameters[0].trackID(), tracks[1]->trackID()) << "lane 1 first";
    EXPECT_EQ(mix->audioMix.inputParameters[1].trackID(), tracks[0]->trackID());

    const auto lane2 = mediaSegments(*tracks[0]);
    ASSERT_EQ(lane2.size(), 2u);
    EXPECT_EQ(lane2[0]->targetRange, span(0, 1));
    EXPECT_EQ(lane2[1]->targetRange, span(2, 1));
    EXPECT_EQ(lane2[1]->source->url, files_["music"]);
    const auto lane1 = mediaSegments(*tracks[1]);
    ASSERT_EQ(lane1.size(), 1u);
    EXPECT_EQ(lane1[0]->targetRange, span(0.5, 1));
}

TEST_F(TimelineAudioMixTest, ClipsListedOutOfOrderStayAtTheirTimes)
{
    const auto segments = firstLaneSegments(build({audioClip("music", 1, 3, 1), audioClip("voice", 1, 0, 2)}));
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0]->targetRange, span(0, 2));
    EXPECT_EQ(segments[1]->targetRange, span(3, 1));
}

TEST_F(TimelineAudioMixTest, OverlappingClipsOfOneLaneEachKeepTheirTime)
{
    const auto mix = build({audioClip("music", 1, 0, 4), audioClip("voice", 1, 1, 2)});
    ASSERT_TRUE(mix);
    const auto tracks = mix->composition.tracks(MediaType::audio);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(mediaSegments(*tracks[0])[0]->targetRange, span(0, 4));
    EXPECT_EQ(mediaSegments(*tracks[1])[0]->targetRange, span(1, 2));
    EXPECT_EQ(mix->audioMix.inputParameters.size(), 2u);
}

TEST_F(TimelineAudioMixTest, TimesAreQuantisedToTheVideoTimescale)
{
    Clip clip = audioClip("long", 1, 1.23456, 2);
    clip.inPoint = 0.5;
    const auto segments = firstLaneSegments(build({clip}, 25));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->targetRange.start, MediaTime(31, 25));
    // 0.5 s is 12.5 ticks of 1/25 s, rounded away from zero.
    EXPECT_EQ(segments[0]->sourceRange, MediaTimeRange(MediaTime(13, 25), MediaTime(50, 25)));
}

TEST_F(TimelineAudioMixTest, AClipBeforeTheTimelineStartSoundsFromZero)
{
    Clip clip = audioClip("long", 1, -1, 3);
    clip.inPoint = 2;
    const auto segments = firstLaneSegments(build({clip}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->targetRange, span(0, 2));
    EXPECT_EQ(segments[0]->sourceRange, span(3, 2));
}

// Speed

TEST_F(TimelineAudioMixTest, SpeedTwoTakesTwiceTheSourceIntoTheClip)
{
    Clip clip = audioClip("long", 1, 1, 5);
    clip.speed = 2;
    const auto segments = firstLaneSegments(build({clip}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->sourceRange, span(0, 10));
    EXPECT_EQ(segments[0]->targetRange, span(1, 5));
}

TEST_F(TimelineAudioMixTest, SpeedsAboveTenArePercent)
{
    Clip clip = audioClip("long", 1, 1, 5);
    clip.speed = 200;
    const auto segments = firstLaneSegments(build({clip}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->sourceRange, span(0, 10));
    EXPECT_EQ(segments[0]->targetRange, span(1, 5));
}

TEST_F(TimelineAudioMixTest, VerySlowSpeedsStopAtOneSixteenth)
{
    Clip clip = audioClip("long", 1, 0, 5);
    clip.speed = 0.01;
    const auto segments = firstLaneSegments(build({clip}, 30000));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->sourceRange.duration, MediaTime(9375, 30000));
    EXPECT_EQ(segments[0]->targetRange.duration, MediaTime(5, 1));
}

TEST_F(TimelineAudioMixTest, ASpeedWithinATenThousandthOfOneIsNotScaled)
{
    Clip clip = audioClip("long", 1, 0, 5);
    clip.speed = 1.00005;
    const auto segments = firstLaneSegments(build({clip}, 30000));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->sourceRange.duration, segments[0]->targetRange.duration);
}

TEST_F(TimelineAudioMixTest, ClipsWithSpeedKeyframesPlayAtNormalSpeedWithinTheClip)
{
    Clip fast = audioClip("long", 1, 0, 3);
    fast.speed = 2;
    fast.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 2, std::nullopt}, {3, 1, std::nullopt}};
    Clip slow = audioClip("long", 2, 0, 3);
    slow.speed = 0.5;
    slow.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 0.5, std::nullopt}};
    const auto mix = build({fast, slow});
    ASSERT_TRUE(mix);
    const auto tracks = mix->composition.tracks(MediaType::audio);
    ASSERT_EQ(tracks.size(), 2u);
    const auto fastSegments = mediaSegments(*tracks[0]);
    ASSERT_EQ(fastSegments.size(), 1u);
    EXPECT_EQ(fastSegments[0]->sourceRange, span(0, 3));
    EXPECT_EQ(fastSegments[0]->targetRange, span(0, 3));
    const auto slowSegments = mediaSegments(*tracks[1]);
    ASSERT_EQ(slowSegments.size(), 1u);
    EXPECT_EQ(slowSegments[0]->sourceRange, span(0, 1.5));
    EXPECT_EQ(slowSegments[0]->targetRange, span(0, 1.5));
}

TEST_F(TimelineAudioMixTest, ASourceThatEndsEarlyKeepsTheClipsSpeed)
{
    Clip clip = audioClip("long", 1, 0, 5);
    clip.inPoint = 4;
    clip.speed = 2;
    const auto segments = firstLaneSegments(build({clip}));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]->sourceRange, span(4, 8));
    EXPECT_EQ(segments[0]->targetRange, span(0, 4)) << "8 s of source at speed 2, then silence";
}

TEST_F(TimelineAudioMixTest, AnOutPointDoesNotShortenTheClip)
{
    Clip clip = audioClip("long", 1, 0, 3);
    clip.inPoint = 1;
    clip.outPoint = 2;
    const auto mix = build({clip});
    ASSERT_TRUE(mix);
    EXPECT_EQ(mediaSegments(*mix->composition.tracks(MediaType::audio)[0])[0]->sourceRange, span(1, 3));
}

// Fades

TEST_F(TimelineAudioMixTest, FadesRampTheClipsTrack)
{
    Clip first = audioClip("music", 1, 2, 4);
    first.fadeIn = 1;
    first.fadeOut = 2;
    Clip second = audioClip("music", 1, 6, 2);
    const auto mix = build({first, second});
    ASSERT_TRUE(mix);
    ASSERT_EQ(mix->audioMix.inputParameters.size(), 1u);
    const AudioMixInputParameters& levels = mix->audioMix.inputParameters[0];
    EXPECT_FLOAT_EQ(levels.volume(sec(2)), 0.0f);
    EXPECT_FLOAT_EQ(levels.volume(sec(2.5)), 0.5f);
    EXPECT_FLOAT_EQ(levels.volume(sec(3.5)), 1.0f);
    EXPECT_FLOAT_EQ(levels.volume(sec(5)), 0.5f);
    EXPECT_FLOAT_EQ(levels.volume(sec(6)), 1.0f) << "the next clip starts at full level";
    EXPECT_FLOAT_EQ(levels.volume(sec(7.9)), 1.0f);
}

TEST_F(TimelineAudioMixTest, AFadeInLongerThanTheClipRampsOverTheWholeClip)
{
    Clip clip = audioClip("music", 1, 1, 2);
    clip.fadeIn = 10;
    const auto mix = build({clip});
    ASSERT_TRUE(mix);
    const AudioMixInputParameters& levels = mix->audioMix.inputParameters[0];
    EXPECT_FLOAT_EQ(levels.volume(sec(2)), 0.5f);
    EXPECT_FLOAT_EQ(levels.volume(sec(3)), 1.0f);
}

TEST_F(TimelineAudioMixTest, AFadeOutLongerThanTheClipStaysInsideIt)
{
    Clip before = audioClip("music", 1, 0, 2);
    Clip clip = audioClip("voice", 1, 2, 2);
    clip.fadeOut = 8;
    const auto mix = build({before, clip});
    ASSERT_TRUE(mix);
    ASSERT_EQ(mix->audioMix.inputParameters.size(), 1u);
    const AudioMixInputParameters& levels = mix->audioMix.inputParameters[0];
    EXPECT_FLOAT_EQ(levels.volume(sec(1.5)), 1.0f) << "the clip before is untouched";
    EXPECT_FLOAT_EQ(levels.volume(sec(2)), 1.0f);
    EXPECT_FLOAT_EQ(levels.volume(sec(3)), 0.5f);
    EXPECT_FLOAT_EQ(levels.volume(sec(4)), 0.0f);
}

TEST_F(TimelineAudioMixTest, OverlappingFadesFollowTheLowerRamp)
{
    Clip clip = audioClip("music", 1, 0, 2);
    clip.fadeIn = 2;
    clip.fadeOut = 2;
    const auto mix = build({clip}, 600);
    ASSERT_TRUE(mix);
    const AudioMixInputParameters& levels = mix->audioMix.inputParameters[0];
    EXPECT_FLOAT_EQ(levels.volume(sec(0.5)), 0.25f);
    EXPECT_FLOAT_EQ(levels.volume(sec(1)), 0.5f);
    EXPECT_FLOAT_EQ(levels.volume(sec(1.5)), 0.25f);
    EXPECT_FLOAT_EQ(levels.volume(sec(2)), 0.0f);
}

// The rendered mix

TEST_F(TimelineAudioMixTest, ATwoLaneTimelineMixesMusicAndClipSound)
{
    Clip music = audioClip("music", 1, 0, 4);
    music.fadeOut = 1;
    Clip voice = audioClip("steps", 2, 1, 1);
    voice.speed = 200; // two seconds of source in one
    Clip missing = audioClip("unmapped", 3, 0, 4);
    const auto mix = build({voice, music, missing});
    ASSERT_TRUE(mix);
    const std::vector<float> samples = render(*mix);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(4 * kRate * 2));

    EXPECT_NEAR(level(samples, 440, 0.2, 0.8), kLevel, 0.005);
    EXPECT_LT(level(samples, 880, 0.2, 0.8), 0.003);
    // The voice: 440 then 880 Hz at double speed, pitch kept, over the music's 440 Hz.
    EXPECT_NEAR(level(samples, 880, 1.55, 1.95), kLevel, 0.02);
    EXPECT_LT(level(samples, 1760, 1.55, 1.95), 0.01);
    EXPECT_LT(level(samples, 880, 2.2, 2.8), 0.003) << "the voice is over by 2 s";
    // The music's fade out: half level half-way through it, silent at the end.
    EXPECT_NEAR(level(samples, 440, 3.45, 3.55), kLevel * 0.5, 0.01);
    EXPECT_LT(test::peakLevel(samples, 2, 0, 4 * kRate - 48, 48), 0.003);
}

} // namespace
} // namespace velmora::Exporter
