#include <gtest/gtest.h>

#include <atomic>

#include "export/FrameTiming.h"
#include "export/WriterSettings.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using test::TempDir;

struct CodecCase {
    EditorVideoCodec codec;
    const char* file;
    const char* codecName;
    const char* profile;
    const char* pixelFormat;
};

// Copies a generated clip's pictures and sound into a new movie through the writer, the way the
// exports feed it: a video pull and an audio pull on their own queues, finished once.
void transcode(const std::filesystem::path& source, const std::filesystem::path& target, EditorVideoCodec codec)
{
    auto asset = Asset::open(source);
    const FrameTiming timing = resolveFps(asset.get(), std::nullopt);
    const AssetTrack& videoTrack = *asset->firstTrack(MediaType::video);
    AssetReader reader(asset);
    auto videoOut = AssetReaderTrackOutput::video(videoTrack, renderPixelFormat(codec));
    auto audioOut = AssetReaderTrackOutput::audio(*asset->firstTrack(MediaType::audio));
    reader.add(videoOut);
    reader.add(audioOut);
    ASSERT_TRUE(reader.startReading());

    AssetWriter writer(target, movieFileType(target, std::nullopt));
    writer.movieTimeScale = timing.timescale;
    auto video = AssetWriterInput::video(
        makeWriterSettings(videoTrack.width, videoTrack.height, timing.fps, 8'000'000, "ITU_R_709_2", codec));
    video->mediaTimeScale = timing.timescale;
    writer.add(video);
    AssetWriterInputPixelBufferAdaptor adaptor(video, renderPixelFormat(codec), videoTrack.width, videoTrack.height);
    auto audio = AssetWriterInput::audio();
    writer.add(audio);
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());

    SerialQueue render("export.test.render");
    SerialQueue sound("export.test.audio");
    Semaphore done;
    std::atomic<int> open{2};
    auto finished = [&] {
        if (--open == 0) {
            writer.finishWriting([&] { done.signal(); });
        }
    };
    std::int64_t frame = 0;
    video->requestMediaDataWhenReady(render, [&] {
        while (video->isReadyForMoreMediaData()) {
            auto sample = videoOut->copyNextSampleBuffer();
            if (!sample) {
                video->markAsFinished();
                finished();
                return;
            }
            adaptor.append(sample->imageBuffer, MediaTime(frame++ * timing.step, timing.timescale));
        }
    });
    audio->requestMediaDataWhenReady(sound, [&] {
        while (audio->isReadyForMoreMediaData()) {
            auto sample = audioOut->copyNextSampleBuffer();
            if (!sample) {
                audio->markAsFinished();
                finished();
                return;
            }
            audio->append(*sample);
        }
    });
    ASSERT_TRUE(done.waitFor(120));
    ASSERT_EQ(writer.status(), AssetWriterStatus::completed) << writer.error()->fullDescription();
}

TEST(MovieWriting, ATwoSecondClipInEveryCodecWithAac)
{
    TempDir dir;
    test::ClipSettings clip;
    clip.width = 256;
    clip.height = 144;
    clip.fpsNum = 30000;
    clip.fpsDen = 1001;
    clip.frameCount = 60;
    clip.pattern = test::ClipPattern::testsrc2;
    clip.videoArgs = "-preset ultrafast";
    clip.audio = true;
    test::makeClip(dir / "source.mov", clip);

    for (const CodecCase& c : {CodecCase{EditorVideoCodec::hevc10, "out.mp4", "hevc", "Main 10", "yuv420p10le"},
                               CodecCase{EditorVideoCodec::h264, "out.m4v", "h264", "High", "yuv420p"},
                               CodecCase{EditorVideoCodec::proRes422, "out.mov", "prores", "Standard", "yuv422p10le"}}) {
        const auto target = dir / c.file;
        transcode(dir / "source.mov", target, c.codec);
        const nlohmann::json video = test::ffprobeStream(target, "v:0", true);
        EXPECT_EQ(video.value("codec_name", ""), c.codecName);
        EXPECT_EQ(video.value("profile", ""), c.profile);
        EXPECT_EQ(video.value("pix_fmt", ""), c.pixelFormat);
        EXPECT_EQ(video.value("r_frame_rate", ""), "30000/1001");
        EXPECT_EQ(video.value("time_base", ""), "1/30000");
        EXPECT_EQ(video.value("nb_read_frames", ""), "60");
        EXPECT_EQ(video.value("color_primaries", ""), "bt709");
        EXPECT_EQ(video.value("color_transfer", ""), "bt709");
        EXPECT_EQ(video.value("color_space", ""), "bt709");
        EXPECT_EQ(video.value("color_range", ""), "tv");
        if (c.codec == EditorVideoCodec::hevc10) {
            EXPECT_EQ(video.value("codec_tag_string", ""), "hvc1");
        }
        const nlohmann::json audio = test::ffprobeStream(target, "a:0");
        EXPECT_EQ(audio.value("codec_name", ""), "aac");
        EXPECT_EQ(audio.value("sample_rate", ""), "48000");
        EXPECT_EQ(audio.value("channels", 0), 2);
        const nlohmann::json format = test::ffprobe(target, "-show_format")["format"];
        EXPECT_NEAR(std::stod(format.value("duration", "0")), 2.002, 0.03) << c.file;
    }
}

} // namespace
} // namespace velmora::Exporter
