#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "GradingTestSupport.h"
#include "StillsTestSupport.h"
#include "grading/BasicGrade.h"
#include "grading/CubeLUT.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/image/Resample.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace PFG = PreviewFrameGrader;
using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = EditorJobV2::ClipGrade::GradeParams;
using stills::maxDifference;
using stills::patternImage;

class PreviewFrameGraderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("VELMORA_RESOURCES_DIR", "", 1);
        PFG::inspection::removeAll();
    }
    void TearDown() override { PFG::inspection::removeAll(); }
};

Image gradient(int w, int h)
{
    return patternImage(w, h, [w, h](int x, int y) {
        return Color{float(x) / float(w), float(y) / float(h), 0.25f + 0.5f * float((x + y) % 2), 1};
    });
}

ClipGrade inlineLutGrade(const std::string& text, std::optional<bool> hasLut = true)
{
    ClipGrade grade;
    grade.hasLut = hasLut;
    grade.lutData = text;
    return grade;
}

// ---- queues and constants ----

TEST(PreviewFrameGraderQueues, ThreeNamedSerialQueues)
{
    EXPECT_EQ(PFG::gradeQueue().label(), "velmora.grade.preview.serial");
    EXPECT_EQ(PFG::interactiveQueue().label(), "velmora.grade.preview.interactive");
    EXPECT_EQ(PFG::pauseGradeQueue().label(), "velmora.grade.preview.pause");
    EXPECT_EQ(&PFG::gradeQueue(), &PFG::gradeQueue());
    bool ran = false;
    PFG::pauseGradeQueue().sync([&] { ran = PFG::pauseGradeQueue().isCurrent(); });
    EXPECT_TRUE(ran);
    EXPECT_EQ(PFG::previewMaxGradeEdgePaused, 4096.0);
    EXPECT_EQ(PFG::previewMaxGradeEdgeInteractive, 854.0);
    EXPECT_STREQ(PFG::editorDisplayGammaMode, "rec709");
}

// ---- pixel budget ----

TEST(PreviewFrameGraderBudget, ScalesDownNeverUp)
{
    EXPECT_EQ(PFG::gradePixelBudget(3840, 2160, 854), (PFG::PixelSize{854, 480}));
    EXPECT_EQ(PFG::gradePixelBudget(1920, 1080, 4096), (PFG::PixelSize{1920, 1080}));
    EXPECT_EQ(PFG::gradePixelBudget(1920, 1080), (PFG::PixelSize{1920, 1080}));
    EXPECT_EQ(PFG::gradePixelBudget(7680, 4320), (PFG::PixelSize{4096, 2304}));
    EXPECT_EQ(PFG::gradePixelBudget(1080, 1920, 854), (PFG::PixelSize{480, 854}));
    EXPECT_EQ(PFG::gradePixelBudget(8192, 1000), (PFG::PixelSize{4096, 500}));
    // 1000 * 854 / 1001 = 853.15…: truncated.
    EXPECT_EQ(PFG::gradePixelBudget(1001, 1001, 854), (PFG::PixelSize{854, 854}));
    EXPECT_EQ(PFG::gradePixelBudget(1001, 1000, 854), (PFG::PixelSize{854, 853}));
}

TEST(PreviewFrameGraderBudget, DegenerateSizes)
{
    EXPECT_EQ(PFG::gradePixelBudget(0, 0), (PFG::PixelSize{1, 1}));
    EXPECT_EQ(PFG::gradePixelBudget(-5, 300, 854), (PFG::PixelSize{1, 300}));
    EXPECT_EQ(PFG::gradePixelBudget(100000, 1, 854), (PFG::PixelSize{854, 1}));
    EXPECT_EQ(PFG::gradePixelBudget(1920, 1080, 0), (PFG::PixelSize{1, 1}));
}

// ---- LUT bases ----

TEST(PreviewFrameGraderLutBase, KeyLayout)
{
    EXPECT_EQ(PFG::lutBaseCacheKey("clip1", "/media/A.mov", 120, "none", 1920, 1080),
              "clip1|/media/A.mov|f120|none|1920x1080");
    EXPECT_EQ(PFG::lutBaseCacheKey("", "", 0, "", 1, 1), "||f0||1x1");
    EXPECT_EQ(PFG::lutBaseCacheKey("c", "p", -3, "k", 854, 480), "c|p|f-3|k|854x480");
}

// Texts a weaker digest gives one value are two keys: the base one LUT graded is never shown for
// the other.
TEST(PreviewFrameGraderLutBase, TwoTextsNeverShareAKey)
{
    const auto [usable, other] = test::twinCubeTextsOfAWeakDigest();
    EXPECT_NE(PFG::lutTextDigest(usable), PFG::lutTextDigest(other));
    LutResolution first;
    first.kind = LutResolution::Kind::text;
    first.text = usable;
    LutResolution second = first;
    second.text = other;
    EXPECT_NE(PFG::lutBaseKey("f", first, 1), PFG::lutBaseKey("f", second, 1));
    EXPECT_EQ(PFG::lutTextDigest(usable), PFG::lutTextDigest(std::string(usable)));
}

TEST_F(PreviewFrameGraderTest, LutBaseIsBuiltOnceAndRenderedAtTheSize)
{
    int builds = 0;
    const auto build = [&]() -> std::optional<Image> {
        ++builds;
        return Exporter::applyGammaCompensation(gradient(64, 36), 2.0);
    };
    EXPECT_FALSE(PFG::cachedLutBaseImage("k").has_value());
    const auto first = PFG::fetchLutBaseCGImage("k", build, 32, 18);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->extent(), (Rect{0, 0, 32, 18}));
    EXPECT_FALSE(first->hasPendingOps());
    EXPECT_TRUE(PFG::cachedLutBaseImage("k").has_value());
    const auto second = PFG::fetchLutBaseCGImage("k", build, 32, 18);
    EXPECT_EQ(builds, 1);
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->isIdenticalTo(*first));
    EXPECT_TRUE(PFG::cachedLutBaseImage("k")->isIdenticalTo(*first));
    // The bottom-left pixel of the gradient, squared by the gamma step.
    const Color c = first->pixel(0, 0);
    EXPECT_FLOAT_EQ(c.b, 0.25f * 0.25f);
}

TEST_F(PreviewFrameGraderTest, NothingBuiltIsNothingCached)
{
    EXPECT_FALSE(PFG::fetchLutBaseCGImage("k", [] { return std::optional<Image>(); }, 10, 10).has_value());
    EXPECT_FALSE(PFG::cachedLutBaseImage("k").has_value());
    EXPECT_FALSE(PFG::fetchLutBaseCGImage("k", [] { return std::optional<Image>(Image()); }, 10, 10).has_value());
    EXPECT_FALSE(PFG::cachedLutBaseImage("k").has_value());
    EXPECT_TRUE(PFG::inspection::lutBaseKeyOrder().empty());
}

TEST_F(PreviewFrameGraderTest, ThirteenthBaseEvictsTheFirstStoredEvenIfJustRead)
{
    const auto build = [] { return std::optional<Image>(gradient(4, 4)); };
    for (int i = 0; i < 12; ++i) {
        PFG::fetchLutBaseCGImage("k" + std::to_string(i), build, 4, 4);
    }
    EXPECT_EQ(PFG::inspection::lutBaseKeyOrder().size(), 12u);
    ASSERT_TRUE(PFG::cachedLutBaseImage("k0").has_value());
    PFG::fetchLutBaseCGImage("k0", build, 4, 4); // a hit does not refresh
    PFG::fetchLutBaseCGImage("k12", build, 4, 4);
    EXPECT_FALSE(PFG::cachedLutBaseImage("k0").has_value());
    EXPECT_TRUE(PFG::cachedLutBaseImage("k1").has_value());
    EXPECT_TRUE(PFG::cachedLutBaseImage("k12").has_value());
    const auto order = PFG::inspection::lutBaseKeyOrder();
    ASSERT_EQ(order.size(), 12u);
    EXPECT_EQ(order.front(), "k1");
    EXPECT_EQ(order.back(), "k12");
}

TEST_F(PreviewFrameGraderTest, InvalidationEmptiesTheBases)
{
    const auto build = [] { return std::optional<Image>(gradient(4, 4)); };
    PFG::fetchLutBaseCGImage("a", build, 4, 4);
    PFG::invalidateLutBaseCache();
    EXPECT_FALSE(PFG::cachedLutBaseImage("a").has_value());
    EXPECT_TRUE(PFG::inspection::lutBaseKeyOrder().empty());

    ClipGrade none;
    PFG::applyLut(gradient(2, 2), none, stills::warmCubeText(), std::nullopt, std::nullopt, true);
    EXPECT_TRUE(PFG::inspection::hasProjectCube());
    PFG::fetchLutBaseCGImage("b", build, 4, 4);
    PFG::invalidateProjectLutCache();
    EXPECT_FALSE(PFG::inspection::hasProjectCube());
    EXPECT_FALSE(PFG::cachedLutBaseImage("b").has_value());
}

// A base is cached under the LUT text that graded it: a LUT file rewritten under its name gets a
// base of its own, the text back again finds the first one, and a text that grades nothing is
// the frame as decoded.
TEST_F(PreviewFrameGraderTest, ALutBaseIsCachedUnderTheTextThatGradedIt)
{
    test::TempDir dir;
    ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "look.cube";
    int decodes = 0;
    const auto decode = [&] {
        ++decodes;
        return std::optional<Image>(gradient(4, 4));
    };
    const auto base = [&](const std::string& text) {
        test::writeTextFile(dir / "look.cube", text);
        return PFG::fetchLutBase("f", grade, dir.path(), std::nullopt, decode, 4, 4);
    };
    const PFG::LutBase blue = base(test::constantCubeText(0, 0, 1));
    ASSERT_TRUE(blue.image);
    EXPECT_EQ(blue.image->pixel(1, 1), (Color{0, 0, 1, 1}));
    const PFG::LutBase green = base(test::constantCubeText(0, 1, 0));
    ASSERT_TRUE(green.image);
    EXPECT_EQ(green.image->pixel(1, 1), (Color{0, 1, 0, 1}));
    EXPECT_NE(green.key, blue.key);
    EXPECT_EQ(base(test::constantCubeText(0, 0, 1)).key, blue.key);
    EXPECT_EQ(decodes, 2);
    const PFG::LutBase cut = base(test::truncatedCubeText());
    EXPECT_EQ(cut.key, "f|none");
    ASSERT_TRUE(cut.image);
    EXPECT_EQ(cut.image->pixel(1, 1), gradient(4, 4).rendered().pixel(1, 1));
    EXPECT_EQ(decodes, 3);
}

// ---- rendering ----

TEST_F(PreviewFrameGraderTest, RenderGivesABitmapOfTheRequestedRectangle)
{
    const Image small = gradient(10, 6);
    const auto bitmap = PFG::renderCGImage(Exporter::applyGammaCompensation(small, 0.5), 12, 8, true);
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->extent(), (Rect{0, 0, 12, 8}));
    EXPECT_FALSE(bitmap->hasPendingOps());
    EXPECT_EQ(bitmap->pixel(11, 7), (Color{0, 0, 0, 0})); // outside the image: transparent
    EXPECT_FLOAT_EQ(bitmap->pixel(0, 0).b, std::sqrt(0.25f));

    const auto same = PFG::renderCGImage(Exporter::applyGammaCompensation(small, 0.5), 12, 8, false);
    EXPECT_EQ(maxDifference(*bitmap, *same), 0.0);

    EXPECT_FALSE(PFG::renderCGImage(Image(), 4, 4, false).has_value());
    const auto tiny = PFG::renderCGImage(small, 0, -3, false);
    ASSERT_TRUE(tiny.has_value());
    EXPECT_EQ(tiny->extent(), (Rect{0, 0, 1, 1}));
    EXPECT_FALSE(PFG::renderCGImage(small, 1 << 20, 1 << 20, false).has_value());
}

// ---- letterbox ----

TEST_F(PreviewFrameGraderTest, LetterboxFillsTheOutputAndCutsTheOverflow)
{
    // Rows encode their height: the square is scaled by 1.92 and 420 output rows are cut from
    // the top and from the bottom.
    const Image square = patternImage(1000, 1000, [](int, int y) { return Color{y / 1000.0f, 0.5f, 0.5f, 1}; });
    const Image out = PFG::letterboxToOutput(square, 1920, 1080);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 1920, 1080}));
    // Output row centre 0.5 maps to source y = (0.5 + 420) / 1.92 = 219.01: between the centres
    // of source rows 218 and 219.
    EXPECT_NEAR(out.pixel(960, 0).r, 0.21851f, 2e-4);
    EXPECT_NEAR(out.pixel(960, 1079).r, 0.78049f, 2e-4);
    EXPECT_EQ(out.pixel(0, 540).a, 1.0f);
    EXPECT_EQ(out.pixel(1919, 540).a, 1.0f);
}

TEST_F(PreviewFrameGraderTest, LetterboxMovesAnOffsetImageToTheOrigin)
{
    const Image image = translate(patternImage(20, 10, [](int x, int) { return Color{x / 20.0f, 0, 0, 1}; }), 50, 30);
    const Image out = PFG::letterboxToOutput(image, 40, 20);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 40, 20}));
    EXPECT_NEAR(out.pixel(0, 0).r, 0.0f, 1e-6);
    EXPECT_NEAR(out.pixel(39, 19).r, 19 / 20.0f, 1e-6);
}

TEST_F(PreviewFrameGraderTest, LetterboxOfNothingIsBlack)
{
    const Image out = PFG::letterboxToOutput(Image(), 0, 0);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 1, 1}));
    EXPECT_EQ(out.pixel(0, 0), (Color{0, 0, 0, 1}));
    const Image black = PFG::letterboxToOutput(Image(), 16, 9);
    EXPECT_EQ(black.extent(), (Rect{0, 0, 16, 9}));
    EXPECT_EQ(black.pixel(15, 8), (Color{0, 0, 0, 1}));
    const Image grey = PFG::letterboxToOutput(Image::constant(Color{0.5f, 0.5f, 0.5f, 1}), 16, 9);
    EXPECT_EQ(grey.pixel(3, 3), (Color{0.5f, 0.5f, 0.5f, 1}));
}

// ---- LUT text resolution ----

TEST_F(PreviewFrameGraderTest, ClipLutTextRules)
{
    test::TempDir dir;
    const std::string fileCube = stills::warmCubeText();
    test::writeTextFile(dir / "Warm.cube", fileCube);
    test::writeTextFile(dir / "Name.cube", fileCube + "# by name\n");
    const std::optional<std::filesystem::path> media = dir.path();

    EXPECT_FALSE(testing::clipLutText(std::nullopt, media, std::nullopt).has_value());

    ClipGrade fileOnly;
    fileOnly.lutFile = "Warm.cube";
    EXPECT_FALSE(testing::clipLutText(fileOnly, media, std::nullopt).has_value()); // hasLut absent
    fileOnly.hasLut = true;
    EXPECT_EQ(testing::clipLutText(fileOnly, media, std::nullopt), fileCube);
    fileOnly.lutFile = "Warm"; // ".cube" added to a name without a dot
    EXPECT_EQ(testing::clipLutText(fileOnly, media, std::nullopt), fileCube);
    fileOnly.lutFile = "Missing.cube";
    fileOnly.lutName = " Name ";
    EXPECT_EQ(testing::clipLutText(fileOnly, media, std::nullopt), fileCube + "# by name\n");
    fileOnly.hasLut = false;
    EXPECT_FALSE(testing::clipLutText(fileOnly, media, std::nullopt).has_value());

    const std::string inlineCube = "\n  " + stills::warmCubeText() + "  \n";
    ClipGrade inlineOnly = inlineLutGrade(inlineCube, std::nullopt);
    EXPECT_EQ(testing::clipLutText(inlineOnly, media, std::nullopt), stills::warmCubeText().substr(0, stills::warmCubeText().size() - 1));
    inlineOnly.hasLut = false;
    EXPECT_FALSE(testing::clipLutText(inlineOnly, media, std::nullopt).has_value());

    // Unusable inline text is passed over for the files when hasLut is true.
    ClipGrade broken = inlineLutGrade("LUT_3D_SIZE 2\n0 0 0\n", true);
    broken.lutFile = "Warm.cube";
    EXPECT_EQ(testing::clipLutText(broken, media, std::nullopt), fileCube);
    broken.hasLut.reset();
    EXPECT_FALSE(testing::clipLutText(broken, media, std::nullopt).has_value());
}

TEST_F(PreviewFrameGraderTest, ProjectLutText)
{
    EXPECT_EQ(PFG::resolvedProjectLutText(std::nullopt, std::nullopt, std::nullopt), "");
    EXPECT_EQ(PFG::resolvedProjectLutText("None", std::nullopt, std::nullopt), "");
    EXPECT_EQ(PFG::resolvedProjectLutText(" None\n", std::nullopt, std::nullopt), "");
    EXPECT_EQ(PFG::resolvedProjectLutText("   ", std::nullopt, std::nullopt), "");
    EXPECT_EQ(PFG::resolvedProjectLutText("Nowhere.cube", std::nullopt, std::nullopt), "");
    const std::string cube = stills::warmCubeText();
    EXPECT_EQ(PFG::resolvedProjectLutText(cube, std::nullopt, std::nullopt), cube.substr(0, cube.size() - 1));
}

// ---- LUT application ----

TEST_F(PreviewFrameGraderTest, ClipLutAppliesAtItsStrength)
{
    const Image in = testing::singlePixel(0.2f, 0.4f, 0.6f);
    ClipGrade grade = inlineLutGrade(stills::warmCubeText());
    const Color full = stills::warmCube(Color{0.2f, 0.4f, 0.6f, 1});
    EXPECT_COLOR_NEAR(testing::firstPixel(PFG::applyLut(in, grade, std::nullopt, std::nullopt, std::nullopt)), full.r,
                      full.g, full.b, 1e-6);
    grade.lutStrength = 0.5;
    EXPECT_COLOR_NEAR(testing::firstPixel(PFG::applyLut(in, grade, std::nullopt, std::nullopt, std::nullopt)),
                      (0.2f + full.r) / 2, (0.4f + full.g) / 2, (0.6f + full.b) / 2, 1e-6);
    grade.lutStrength = 0.0;
    EXPECT_TRUE(PFG::applyLut(in, grade, std::nullopt, std::nullopt, std::nullopt).isIdenticalTo(in));
    EXPECT_EQ(PFG::inspection::clipLutCacheCount(), 1u);
}

TEST_F(PreviewFrameGraderTest, ProjectLutOnlyAsAnAskedForFallback)
{
    const Image in = testing::singlePixel(0.2f, 0.4f, 0.6f);
    const std::string project = stills::warmCubeText();
    EXPECT_TRUE(PFG::applyLut(in, std::nullopt, project, std::nullopt, std::nullopt).isIdenticalTo(in));
    EXPECT_TRUE(PFG::applyLut(in, std::nullopt, "None", std::nullopt, std::nullopt, true).isIdenticalTo(in));
    EXPECT_TRUE(PFG::applyLut(in, std::nullopt, "", std::nullopt, std::nullopt, true).isIdenticalTo(in));
    const Color full = stills::warmCube(Color{0.2f, 0.4f, 0.6f, 1});
    EXPECT_COLOR_NEAR(testing::firstPixel(PFG::applyLut(in, std::nullopt, project, std::nullopt, std::nullopt, true)),
                      full.r, full.g, full.b, 1e-6);
    // A clip LUT wins over the project's.
    ClipGrade grade = inlineLutGrade(stills::cubeText(3, [](float r, float g, float b) { return Color{b, g, r, 1}; }));
    EXPECT_COLOR_NEAR(testing::firstPixel(PFG::applyLut(in, grade, project, std::nullopt, std::nullopt, true)), 0.6f,
                      0.4f, 0.2f, 1e-6);
}

TEST_F(PreviewFrameGraderTest, UnparsableLutLeavesTheImageAndIsNotCached)
{
    const Image in = testing::singlePixel(0.2f, 0.4f, 0.6f);
    // Usable by its size line, but short of entries: the parser refuses it.
    const ClipGrade grade = inlineLutGrade("LUT_3D_SIZE 3\n0 0 0\n1 1 1\n");
    EXPECT_TRUE(PFG::applyLut(in, grade, std::nullopt, std::nullopt, std::nullopt).isIdenticalTo(in));
    EXPECT_EQ(PFG::inspection::clipLutCacheCount(), 0u);
}

TEST_F(PreviewFrameGraderTest, ClipLutCacheIsEmptiedWholeWhenFull)
{
    const Image in = testing::singlePixel(0.2f, 0.4f, 0.6f);
    for (int i = 0; i < 13; ++i) {
        const float lift = 0.01f * float(i);
        PFG::applyLut(in, inlineLutGrade(stills::cubeText(3, [lift](float r, float g, float b) {
                          return Color{r + lift, g, b, 1};
                      })),
                      std::nullopt, std::nullopt, std::nullopt);
    }
    EXPECT_EQ(PFG::inspection::clipLutCacheCount(), 13u);
    PFG::applyLut(in, inlineLutGrade(stills::warmCubeText()), std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(PFG::inspection::clipLutCacheCount(), 1u);
}

// ---- the grade ----

TEST_F(PreviewFrameGraderTest, DefaultsOnlyCrop)
{
    const Image in = gradient(40, 30);
    const Image out = PFG::grade(in, std::nullopt, std::nullopt, 32, 20, std::nullopt, std::nullopt);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 32, 20}));
    EXPECT_FALSE(out.hasPendingOps());
    EXPECT_EQ(maxDifference(out, crop(in, IntRect{0, 0, 32, 20})), 0.0);
}

TEST_F(PreviewFrameGraderTest, GradeNeverAppliesTheProjectLut)
{
    const Image in = gradient(8, 8);
    const Image out = PFG::grade(in, std::nullopt, stills::warmCubeText(), 8, 8, std::nullopt, std::nullopt);
    EXPECT_EQ(maxDifference(out.rendered(), in), 0.0);
}

// The whole chain equals its steps applied one by one with the grading functions.
TEST_F(PreviewFrameGraderTest, ChainMatchesTheStepsInOrder)
{
    const Image in = gradient(48, 27);
    ClipGrade grade = inlineLutGrade(stills::warmCubeText());
    grade.lutStrength = 0.75;
    GradeParams params;
    params.moodKey = "teal_orange";
    params.isMoodEnabled = FlexibleBool{true};
    params.moodAmount = 0.8;
    params.moodWarmth = 0.2;
    params.exposure = 0.1;
    params.contrast = 0.2;
    params.saturation = -0.3;
    params.temperature = 0.05;
    grade.gradeParams = params;

    const Image out = PFG::grade(in, grade, std::nullopt, 40, 20, std::nullopt, std::nullopt, "g24", 1.1, 0.9, 0.02,
                                 0.1);

    const CubeLUT cube = Exporter::parseCube(stills::warmCubeText());
    Image expected = Exporter::applyCubeLUTImage(in, cube, Exporter::makeCubeFilter(cube), 0.75);
    expected = Exporter::applyMoodImage(expected, params);
    expected = Exporter::applyBasicGradeImage(expected, params, 40, 20);
    expected = crop(expected, IntRect{0, 0, 40, 20});
    expected = Exporter::applyLookAdjust(expected, 1.1, 0.9, 0.02);
    expected = Exporter::applyCompTintImage(expected, 0.1);
    expected = Exporter::applyGammaCompensation(expected, 2.4 / 2.2);
    EXPECT_LT(maxDifference(out.rendered(), expected.rendered()), 1e-6);
    // And the grade did something.
    EXPECT_GT(maxDifference(out.rendered(), crop(in, IntRect{0, 0, 40, 20})), 0.01);
}

// The monitor shows the levels the export writes: the editor's display compensates nothing.
TEST_F(PreviewFrameGraderTest, EditorDisplayGammaKeepsTheLevels)
{
    EXPECT_FALSE(Exporter::resolveGammaMode(PFG::editorDisplayGammaMode).gammaPower);
    const Image in = testing::singlePixel(0.25f, 0.5f, 1.0f);
    EXPECT_COLOR_NEAR(testing::firstPixel(PFG::applyGradeParams(in, std::nullopt, 1, 1, PFG::editorDisplayGammaMode)),
                      0.25, 0.5, 1.0, 1e-6);
}

} // namespace
} // namespace velmora
