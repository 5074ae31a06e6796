#include <gtest/gtest.h>

#include <memory>

#include "TimelineExportTestSupport.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

// A three-lane job with a job-wide LUT that scales every colour by 0.85, rendered with each
// codec: the output's frames are the right source frames, graded.
class TimelineExportCodecTest : public ::testing::TestWithParam<Exporter::EditorVideoCodec> {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeStampClip(*media_ / "a.mp4", 100);
        makeStampClip(*media_ / "b.mp4", 100);
        makeStampClip(*media_ / "c.mp4", 100);
        makeToneFile(*media_ / "music.wav", {{440, 2}});
    }
    static void TearDownTestSuite() { media_.reset(); }

    static EditorJobV2 threeLaneJob()
    {
        // Lane 3 runs the whole 2 s from 0.4 s of C; lane 2 covers 0.4-1.6 s with B from 1 s;
        // lane 1 covers 0.8-1.2 s with A from 2 s at double speed.
        EditorJobV2 job = makeJob({source("A", "a.mp4"), source("B", "b.mp4"), source("C", "c.mp4"),
                                   source("M", "music.wav")},
                                  {videoClip("c", "C", 3, 0, 2, 0.4), videoClip("b", "B", 2, 0.4, 1.2, 1.0),
                                   videoClip("a", "A", 1, 0.8, 0.4, 2.0, 2.0), audioClip("m", "M", 1, 0, 2)});
        job.grade.lutCube = scaledCube(0.85);
        return job;
    }

    static std::vector<int> expectedStamps()
    {
        std::vector<int> stamps;
        for (int n = 0; n < 50; ++n) {
            if (n < 10 || n >= 40) {
                stamps.push_back(10 + n); // C from frame 10
            } else if (n >= 20 && n < 30) {
                stamps.push_back(50 + 2 * (n - 20)); // A from frame 50, every other frame
            } else {
                stamps.push_back(25 + (n - 10)); // B from frame 25
            }
        }
        return stamps;
    }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
};

std::unique_ptr<TempDir> TimelineExportCodecTest::media_;

TEST_P(TimelineExportCodecTest, RendersTheRightGradedFrames)
{
    const Exporter::EditorVideoCodec codec = GetParam();
    const bool proRes = codec == Exporter::EditorVideoCodec::proRes422;
    const auto output = out_ / (proRes ? "movie.mov" : "movie.mp4");
    ExportOptions options;
    options.codec = codec;
    options.bitrate = std::nullopt;
    exportJob(threeLaneJob(), media_->path(), output, options);

    const auto video = ffprobeStream(output, "v:0", true);
    EXPECT_EQ(video["nb_read_frames"], "50");
    EXPECT_EQ(video["width"], kWidth);
    EXPECT_EQ(video["height"], kHeight);
    switch (codec) {
    case Exporter::EditorVideoCodec::hevc10:
        EXPECT_EQ(video["codec_name"], "hevc");
        EXPECT_EQ(video["profile"], "Main 10");
        EXPECT_EQ(video["pix_fmt"], "yuv420p10le");
        EXPECT_EQ(video["codec_tag_string"], "hvc1");
        break;
    case Exporter::EditorVideoCodec::h264:
        EXPECT_EQ(video["codec_name"], "h264");
        EXPECT_EQ(video["profile"], "High");
        EXPECT_EQ(video["pix_fmt"], "yuv420p");
        break;
    case Exporter::EditorVideoCodec::proRes422:
        EXPECT_EQ(video["codec_name"], "prores");
        EXPECT_EQ(video["pix_fmt"], "yuv422p10le");
        break;
    }
    EXPECT_EQ(video["color_primaries"], "bt709");
    EXPECT_EQ(video["color_space"], "bt709");
    EXPECT_EQ(ffprobeStream(output, "a:0")["codec_name"], "aac");

    const auto frames = decodeFrames(output);
    EXPECT_EQ(frameStamps(frames), expectedStamps());
    // White bars come out at 0.85 of white: the frames are graded.
    const int bit0White = frames[1].width() / 32; // frame 1 shows C's frame 11: bit 0 is set
    EXPECT_NEAR(lumaAt(frames[1], bit0White, kHeight / 2), 16 + 219 * 0.85, 2.5);
}

INSTANTIATE_TEST_SUITE_P(Codecs, TimelineExportCodecTest,
                         ::testing::Values(Exporter::EditorVideoCodec::hevc10, Exporter::EditorVideoCodec::h264,
                                           Exporter::EditorVideoCodec::proRes422),
                         [](const auto& info) {
                             switch (info.param) {
                             case Exporter::EditorVideoCodec::hevc10: return std::string("HevcMain10");
                             case Exporter::EditorVideoCodec::h264: return std::string("H264");
                             case Exporter::EditorVideoCodec::proRes422: return std::string("ProRes422");
                             }
                             return std::string("Unknown");
                         });

} // namespace
} // namespace velmora::test
