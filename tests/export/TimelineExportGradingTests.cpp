#include <gtest/gtest.h>

#include <memory>

#include "TimelineExportTestSupport.h"
#include "grading/BasicGrade.h"
#include "grading/CubeLUT.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

// A flat grey source (luma 180) shows every grading step as one number: the output's luma.
constexpr double kGreyLuma = 180;
const double kGrey = (kGreyLuma - 16) / 219;

double videoLuma(double r, double g, double b)
{
    return 16 + 219 * (0.2126 * r + 0.7152 * g + 0.0722 * b);
}

class TimelineExportGradingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeFlatClip(*media_ / "grey.mp4", static_cast<int>(kGreyLuma), 50);
        writeTextFile(*media_ / "half.cube", scaledCube(0.5));
    }
    static void TearDownTestSuite() { media_.reset(); }

    std::vector<double> lumas(const EditorJobV2& job, const ExportOptions& options = {})
    {
        const auto output = out_ / "graded.mp4";
        exportJob(job, media_->path(), output, options);
        std::vector<double> values;
        for (const PixelBuffer& frame : decodeFrames(output)) {
            values.push_back(meanLuma(frame));
        }
        return values;
    }

    static EditorJobV2 greyJob(std::vector<Clip> clips) { return makeJob({source("G", "grey.mp4")}, std::move(clips)); }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
};

std::unique_ptr<TempDir> TimelineExportGradingTest::media_;

TEST_F(TimelineExportGradingTest, WithoutAGradeThePictureIsUnchanged)
{
    for (double luma : lumas(greyJob({videoClip("g", "G", 1, 0, 0.4)}))) {
        EXPECT_NEAR(luma, kGreyLuma, 1.0);
    }
}

TEST_F(TimelineExportGradingTest, FadesInAndOutOverBlack)
{
    Clip clip = videoClip("g", "G", 1, 0, 2);
    clip.fadeIn = 1;
    clip.fadeOut = 0.8;
    const auto values = lumas(greyJob({clip}));
    ASSERT_EQ(values.size(), 50u);
    for (int n = 0; n < 50; ++n) {
        const double t = n / 25.0;
        double alpha = std::min(t / 1.0, 1.0);
        if (t > 1.2) {
            alpha *= (2.0 - t) / 0.8;
        }
        EXPECT_NEAR(values[n], 16 + 219 * kGrey * alpha, 1.2) << "frame " << n;
    }
}

TEST_F(TimelineExportGradingTest, OpacityDimsTowardsBlack)
{
    Clip clip = videoClip("g", "G", 1, 0, 0.4);
    clip.opacity = 0.5;
    for (double luma : lumas(greyJob({clip}))) {
        EXPECT_NEAR(luma, 16 + 219 * kGrey * 0.5, 1.0);
    }
}

TEST_F(TimelineExportGradingTest, AClipLutScalesThePicture)
{
    Clip clip = videoClip("g", "G", 1, 0, 0.4);
    clip.grade = EditorJobV2::ClipGrade{};
    clip.grade->hasLut = true;
    clip.grade->lutFile = "half.cube";
    for (double luma : lumas(greyJob({clip}))) {
        EXPECT_NEAR(luma, 16 + 219 * kGrey * 0.5, 1.0);
    }
}

TEST_F(TimelineExportGradingTest, TheJobLutGradesClipsWithoutTheirOwnAndGaps)
{
    // The job LUT lifts black to 0.25 and halves the rest; the clip's own LUT replaces it.
    Clip own = videoClip("own", "G", 1, 0, 0.4);
    own.grade = EditorJobV2::ClipGrade{};
    own.grade->lutData = scaledCube(0.5);
    EditorJobV2 job = greyJob({own, videoClip("plain", "G", 1, 0.4, 0.4)});
    job.timelines[0].duration = 1.2;
    job.grade.lutCube = affineCube(0.5, 0.25);
    const auto values = lumas(job);
    ASSERT_EQ(values.size(), 30u);
    EXPECT_NEAR(values[5], 16 + 219 * kGrey * 0.5, 1.0);
    EXPECT_NEAR(values[15], 16 + 219 * (0.25 + 0.5 * kGrey), 1.0);
    EXPECT_NEAR(values[25], 16 + 219 * 0.25, 1.0);
}

TEST_F(TimelineExportGradingTest, ALutOverrideReplacesTheJobLut)
{
    writeTextFile(out_ / "override.cube", scaledCube(0.25));
    EditorJobV2 job = greyJob({videoClip("g", "G", 1, 0, 0.4)});
    job.grade.lutCube = "half.cube";
    ExportOptions options;
    options.lutOverride = out_ / "override.cube";
    for (double luma : lumas(job, options)) {
        EXPECT_NEAR(luma, 16 + 219 * kGrey * 0.25, 1.0);
    }
}

TEST_F(TimelineExportGradingTest, TheWholeChainGradesAsTheGradingFunctionsSay)
{
    EditorJobV2::ClipGrade::GradeParams params;
    params.exposure = -0.5;
    params.contrast = 0.1;
    params.moodKey = "teal_orange";
    params.isMoodEnabled = FlexibleBool{true};
    params.moodIntensity = 0.6;
    Clip clip = videoClip("g", "G", 1, 0, 0.4);
    clip.grade = EditorJobV2::ClipGrade{};
    clip.grade->lutData = scaledCube(0.8);
    clip.grade->lutStrength = 0.5;
    clip.grade->gradeParams = params;
    ExportOptions options;
    options.codec = Exporter::EditorVideoCodec::proRes422;
    options.gammaMode = "g22";
    options.compContrast = 1.1;
    options.compSaturation = 0.9;
    options.compBrightness = 0.02;
    options.compTint = 0.1;

    const CubeLUT cube = Exporter::parseCube(scaledCube(0.8));
    Image expected = Image::filled(4, 4, Color{float(kGrey), float(kGrey), float(kGrey), 1});
    expected = Exporter::applyCubeLUTImage(expected, cube, Exporter::makeCubeFilter(cube), 0.5);
    expected = Exporter::applyMoodImage(expected, params);
    expected = Exporter::applyBasicGradeImage(expected, params, kWidth, kHeight);
    expected = Exporter::applyLookAdjust(expected, 1.1, 0.9, 0.02);
    expected = Exporter::applyCompTintImage(expected, 0.1);
    expected = Exporter::applyGammaCompensation(expected, Exporter::resolveGammaMode("g22").gammaPower);
    const Color c = expected.pixel(1, 1);
    const double expectedLuma = videoLuma(c.r, c.g, c.b);
    ASSERT_GT(std::abs(expectedLuma - kGreyLuma), 10.0); // the grade does change the picture
    ASSERT_LT(expectedLuma, 230.0);                      // and stays within the video range

    const auto output = out_ / "chain.mov";
    exportJob(greyJob({clip}), media_->path(), output, options);
    for (const PixelBuffer& frame : decodeFrames(output)) {
        EXPECT_NEAR(meanLuma(frame), expectedLuma, 1.0);
    }
}

} // namespace
} // namespace velmora::test
