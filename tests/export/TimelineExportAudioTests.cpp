#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "TimelineExportTestSupport.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

constexpr int kRate = 48000;
constexpr double kLevel = 0.125;

// The level of a tone in the left channel between two times (seconds).
double toneLevel(const std::vector<float>& samples, double from, double to, double frequency)
{
    return toneAmplitude(samples, 2, 0, static_cast<std::int64_t>(from * kRate),
                         static_cast<std::int64_t>((to - from) * kRate), frequency, kRate);
}

// A clock that moves one second every time it is read, so no progress report is held back.
class SteppingClock final : public Clock {
public:
    double now() const override { return ticks_.fetch_add(1) + 1.0; }

private:
    mutable std::atomic<long> ticks_{0};
};

class TimelineExportAudioTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeStampClip(*media_ / "v.mp4", 50);
        makeToneFile(*media_ / "low.wav", {{440, 2}});
        makeToneFile(*media_ / "high.wav", {{880, 2}});
        makeToneFile(*media_ / "steps.wav", {{440, 1}, {880, 1}});
        makeStampClip(*media_ / "interview.mp4", 50, 25, 1, true, 660);
    }
    static void TearDownTestSuite() { media_.reset(); }

    static std::vector<EditorJobV2::Source> sources()
    {
        return {source("V", "v.mp4"), source("L", "low.wav"), source("H", "high.wav"), source("S", "steps.wav"),
                source("X", "missing.wav"), source("I", "interview.mp4"), source("IA", "Interview (Audio).mp4")};
    }

    std::vector<float> soundOf(std::vector<Clip> clips, const ExportOptions& options = {})
    {
        clips.insert(clips.begin(), videoClip("v", "V", 1, 0, 2));
        exportJob(makeJob(sources(), std::move(clips)), media_->path(), output_, options);
        return decodeAudio(output_);
    }

    Error failureOf(std::vector<Clip> clips, const ExportOptions& options)
    {
        clips.insert(clips.begin(), videoClip("v", "V", 1, 0, 2));
        try {
            exportJob(makeJob(sources(), std::move(clips)), media_->path(), output_, options);
        } catch (const Error& e) {
            return e;
        }
        return Error("none", 0, "");
    }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
    std::filesystem::path output_ = out_ / "movie.mp4";
};

std::unique_ptr<TempDir> TimelineExportAudioTest::media_;

TEST_F(TimelineExportAudioTest, EachClipSoundsOnlyWhileItIsOnTheTimeline)
{
    const auto samples = soundOf({audioClip("low", "L", 1, 0, 1), audioClip("high", "H", 2, 0.5, 1)});
    EXPECT_NEAR(toneLevel(samples, 0.1, 0.4, 440), kLevel, 0.02);
    EXPECT_LT(toneLevel(samples, 0.1, 0.4, 880), 0.01);
    EXPECT_NEAR(toneLevel(samples, 0.6, 0.9, 440), kLevel, 0.02);
    EXPECT_NEAR(toneLevel(samples, 0.6, 0.9, 880), kLevel, 0.02);
    EXPECT_LT(toneLevel(samples, 1.1, 1.4, 440), 0.01);
    EXPECT_NEAR(toneLevel(samples, 1.1, 1.4, 880), kLevel, 0.02);
    EXPECT_LT(peakLevel(samples, 2, 0, static_cast<std::int64_t>(1.6 * kRate), kRate / 4), 0.01);
}

TEST_F(TimelineExportAudioTest, MixesMusicWithAClipsOwnSound)
{
    // Two lanes: music on lane 1, and on lane 2 the sound of the interview clip from 0.5 s of
    // its file (its audio source named as the browser editor names linked audio).
    const auto samples = soundOf({audioClip("music", "L", 1, 0, 2), audioClip("voice", "IA", 2, 0.5, 1, 0.5)});
    EXPECT_NEAR(toneLevel(samples, 0.1, 0.4, 440), kLevel, 0.02);
    EXPECT_LT(toneLevel(samples, 0.1, 0.4, 660), 0.01);
    EXPECT_NEAR(toneLevel(samples, 0.6, 1.4, 440), kLevel, 0.02);
    EXPECT_GT(toneLevel(samples, 0.6, 1.4, 660), 0.05);
    EXPECT_LT(toneLevel(samples, 1.6, 1.9, 660), 0.01);
}

TEST_F(TimelineExportAudioTest, ReadsSpeedAsAFactorOrAPercentage)
{
    // At double speed one second of timeline plays both steps of the source.
    for (double speed : {2.0, 200.0}) {
        Clip clip = audioClip("s", "S", 1, 0, 1);
        clip.speed = speed;
        const auto samples = soundOf({clip});
        EXPECT_NEAR(toneLevel(samples, 0.1, 0.4, 440), kLevel, 0.03) << speed;
        EXPECT_NEAR(toneLevel(samples, 0.6, 0.9, 880), kLevel, 0.03) << speed;
        EXPECT_LT(toneLevel(samples, 0.6, 0.9, 440), 0.02) << speed;
    }
}

TEST_F(TimelineExportAudioTest, FadesRampTheLevel)
{
    Clip clip = audioClip("low", "L", 1, 0, 2);
    clip.fadeIn = 1;
    const auto samples = soundOf({clip});
    EXPECT_NEAR(toneLevel(samples, 0.2, 0.3, 440), kLevel * 0.25, 0.02);
    EXPECT_NEAR(toneLevel(samples, 0.7, 0.8, 440), kLevel * 0.75, 0.02);
    EXPECT_NEAR(toneLevel(samples, 1.2, 1.5, 440), kLevel, 0.02);
}

TEST_F(TimelineExportAudioTest, AMissingSoundFileFailsTheExportByNameAndWritesNothing)
{
    const Error error = failureOf({audioClip("gone", "X", 2, 0, 2), audioClip("low", "L", 1, 0, 2)}, {});
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), 212);
    EXPECT_EQ(error.message(), "Missing source files in Media Folder:\nmissing.wav\n\nTip: choose the top folder that "
                               "contains your footage (subfolders are supported).");
    EXPECT_TRUE(folderContents(out_.path()).empty());
}

TEST_F(TimelineExportAudioTest, ATimelineWithoutSoundHasNoAudioTrack)
{
    EXPECT_TRUE(soundOf({}).empty());
    EXPECT_EQ(ffprobe(output_, "-show_streams")["streams"].size(), 1u);
    EXPECT_EQ(frameStamps(output_).size(), 50u);
}

TEST_F(TimelineExportAudioTest, SoundAndPictureLastAsLongAsTheTimeline)
{
    soundOf({audioClip("low", "L", 1, 0.5, 1)});
    const auto video = ffprobeStream(output_, "v:0", true);
    const auto audio = ffprobeStream(output_, "a:0");
    EXPECT_EQ(video["nb_read_frames"], "50");
    EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), 2.0, 0.001);
    EXPECT_NEAR(std::stod(audio["duration"].get<std::string>()), 2.0, 1024.0 / kRate);
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["sample_rate"], "48000");
    EXPECT_EQ(audio["channels"], 2);
}

TEST_F(TimelineExportAudioTest, ARefusedChunkFailsTheExport)
{
    ExportOptions options;
    options.faults.refuseAudioAppend = [](std::int64_t chunk) { return chunk == 2; };
    const Error error = failureOf({audioClip("low", "L", 1, 0, 2)}, options);
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), 241);
    EXPECT_EQ(error.message(), "Failed to append audio");
    EXPECT_TRUE(folderContents(out_.path()).empty());
}

TEST_F(TimelineExportAudioTest, AFailedMixFailsTheExport)
{
    ExportOptions options;
    options.faults.audioMixFailsSilently = true;
    const Error error = failureOf({audioClip("low", "L", 1, 0, 2)}, options);
    EXPECT_EQ(error.code(), 242);
    EXPECT_EQ(error.message(), "Audio reader failed");
    EXPECT_TRUE(folderContents(out_.path()).empty());
}

TEST_F(TimelineExportAudioTest, AFailedMixIsReportedWhenThePictureEndsFirst)
{
    // The picture side ends, and tries to complete the movie, between the mix's end and the
    // audio side's answer to it.
    ExportOptions options;
    options.faults.audioMixFailsSilently = true;
    options.faults.atEndOfMix = [](Exporter::TimelineExportState& state) {
        while (!state.isVideoDone() && !state.isStopped()) {
            std::this_thread::yield();
        }
        state.finishIfReady();
    };
    const Error error = failureOf({audioClip("low", "L", 1, 0, 2)}, options);
    EXPECT_EQ(error.code(), 242);
    EXPECT_EQ(error.message(), "Audio reader failed");
    EXPECT_TRUE(folderContents(out_.path()).empty());
}

TEST_F(TimelineExportAudioTest, AMixThatCannotReadItsSourcePassesItsOwnError)
{
    const auto folder = out_ / "media";
    std::filesystem::create_directory(folder);
    for (const char* name : {"v.mp4", "low.wav"}) {
        std::filesystem::copy_file(*media_ / name, folder / name);
    }
    ExportOptions options;
    options.progress = [&](const TimelineExportProgress& progress) {
        if (progress.framesCompleted == 0 && progress.phase == "Rendering video") {
            std::filesystem::remove(folder / "low.wav"); // after the set-up has placed the clip
        }
    };
    const auto output = out_ / "gone.mp4";
    try {
        exportJob(makeJob(sources(), {videoClip("v", "V", 1, 0, 2), audioClip("low", "L", 1, 0, 2)}), folder, output,
                  options);
        FAIL() << "the export should fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "media");
    }
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(TimelineExportAudioTest, ACancelWhileTheSoundIsEncodedEndsTheExport)
{
    // The cancel is answered only on the audio pump's thread, once the video has run a while.
    std::atomic<bool> videoRunning{false};
    std::atomic<std::thread::id> renderThread{};
    const std::thread::id caller = std::this_thread::get_id();
    ExportOptions options;
    options.progress = [&](const TimelineExportProgress& progress) {
        if (progress.phase == "Rendering video" && progress.framesCompleted > 0 && !videoRunning) {
            renderThread = std::this_thread::get_id();
            videoRunning = true;
        }
    };
    options.faults.clock = std::make_shared<SteppingClock>(); // every twelfth frame is reported
    options.isCancelled = [&] {
        const auto self = std::this_thread::get_id();
        return videoRunning.load() && self != renderThread.load() && self != caller;
    };
    const Error error = failureOf({audioClip("low", "L", 1, 0, 2)}, options);
    EXPECT_EQ(error.code(), 248);
    EXPECT_EQ(error.message(), "Export cancelled.");
    EXPECT_TRUE(folderContents(out_.path()).empty());
}

} // namespace
} // namespace velmora::test
