#include <gtest/gtest.h>

#include "export/FrameTiming.h"
#include "export/WriterSettings.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/PixelBufferImage.h"
#include "support/MediaFixtures.h"
#include "support/MovieWriterFixture.h"
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

    test::MovieWriterFixture movie(
        target, {movieFileType(target, std::nullopt),
                 makeWriterSettings(videoTrack.width, videoTrack.height, timing.fps, 8'000'000, "ITU_R_709_2", codec),
                 renderPixelFormat(codec), timing.timescale, true});
    ASSERT_TRUE(movie.start());
    std::int64_t frame = 0;
    const bool completed = movie.feed(
        [&] {
            auto sample = videoOut->copyNextSampleBuffer();
            if (!sample) {
                return false;
            }
            movie.adaptor.append(sample->imageBuffer, MediaTime(frame++ * timing.step, timing.timescale));
            return true;
        },
        [&] {
            auto sample = audioOut->copyNextSampleBuffer();
            if (!sample) {
                return false;
            }
            movie.audio->append(*sample);
            return true;
        });
    ASSERT_TRUE(completed);
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

// Writes `frames` grey frames as the exports do at `fps`: the writer settings and time base the
// exports derive from it, one frame every step.
void writeGreyMovie(const std::filesystem::path& target, double fps, int frames)
{
    const FrameTiming timing = fpsToTimebase(fps);
    test::MovieWriterFixture movie(target, {movieFileType(target, std::nullopt),
                                            makeWriterSettings(160, 96, timing.fps, 2'000'000, "ITU_R_709_2",
                                                               EditorVideoCodec::hevc10),
                                            renderPixelFormat(EditorVideoCodec::hevc10), timing.timescale});
    ASSERT_TRUE(movie.start());
    int frame = 0;
    ASSERT_TRUE(movie.feed([&] {
        if (frame == frames) {
            return false;
        }
        PixelBuffer buffer = movie.adaptor.pixelBufferPool().createPixelBuffer();
        renderImageToPixelBuffer(Image::filled(160, 96, Color{0.5f, 0.5f, 0.5f, 1}), buffer);
        movie.adaptor.append(buffer, MediaTime(frame++ * timing.step, timing.timescale));
        return true;
    }));
}

// At every rate, down to a frame every few seconds, each frame (the last too) lasts one frame
// step and the stream stays HEVC Main 10 (a key-frame interval of one frame would make it an
// intra-only profile).
TEST(MovieWriting, EveryFrameLastsOneStepAndHevcStaysMain10AtLowRates)
{
    TempDir dir;
    for (const double fps : {0.4, 0.6, 1.0, 25.0}) {
        const auto target = dir / ("rate" + std::to_string(fps) + ".mp4");
        writeGreyMovie(target, fps, 3);
        const FrameTiming timing = fpsToTimebase(fps);
        const double step = static_cast<double>(timing.step) / timing.timescale;
        EXPECT_EQ(test::ffprobeStream(target, "v:0").value("profile", ""), "Main 10") << fps;
        const nlohmann::json packets = test::ffprobe(target, "-show_packets -select_streams v")["packets"];
        ASSERT_EQ(packets.size(), 3u) << fps;
        for (const auto& packet : packets) {
            EXPECT_NEAR(std::stod(packet.value("duration_time", "0")), step, 1e-6) << fps; // printed to 6 places
        }
        const nlohmann::json stream = test::ffprobeStream(target, "v:0");
        EXPECT_NEAR(std::stod(stream.value("duration", "0")), 3 * step, 1e-6) << fps;
    }
}

} // namespace
} // namespace velmora::Exporter
