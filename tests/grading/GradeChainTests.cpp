#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "grading/BasicGrade.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferImage.h"
#include "platform/image/Lanes.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::Exporter;
using Params = EditorJobV2::ClipGrade::GradeParams;

CubeLUT warmCube()
{
    std::vector<float> v;
    for (int b = 0; b < 9; ++b) {
        for (int g = 0; g < 9; ++g) {
            for (int r = 0; r < 9; ++r) {
                v.insert(v.end(), {std::min(1.0f, r / 8.0f * 1.1f), g / 8.0f, b / 8.0f * 0.9f, 1});
            }
        }
    }
    return CubeLUT::fromFloats(9, v);
}

Params fullGrade()
{
    Params p;
    p.moodKey = "golden_hour";
    p.isMoodEnabled = FlexibleBool{true};
    p.moodAmount = 0.8;
    p.moodContrast = 0.2;
    p.moodWarmth = 0.1;
    p.exposure = 0.1;
    p.contrast = 0.05;
    p.saturation = 0.2;
    p.vignette = 0.3;
    return p;
}

Image gradient(int w, int h)
{
    Image image = Image::allocate(w, h);
    for (int i = 0; i < h; ++i) {
        float* row = image.mutableRow(i);
        for (int x = 0; x < w; ++x) {
            row[x * 4 + 0] = static_cast<float>(x) / w;
            row[x * 4 + 1] = static_cast<float>(i) / h;
            row[x * 4 + 2] = 0.5f;
            row[x * 4 + 3] = 1;
        }
    }
    return image;
}

Image chain(const Image& in, bool renderEachStep)
{
    const CubeLUT cube = warmCube();
    const CubeFilter filter = makeCubeFilter(cube);
    const auto params = std::optional(fullGrade());
    auto step = [&](const Image& im) { return renderEachStep ? im.rendered() : im; };
    Image image = step(applyCubeLUTImage(in, cube, filter, 0.7));
    image = step(applyMoodImage(image, params));
    image = step(applyBasicGradeImage(image, params, in.width(), in.height()));
    image = step(applyLookAdjust(image, 1.1, 0.9, 0.02));
    image = step(applyCompTintImage(image, 0.1));
    return step(applyGammaCompensation(image, resolveGammaMode("rec709a").gammaPower));
}

TEST(GradeChain, RunsAsOnePassWithTheSameResultAsStepByStep)
{
    const Image in = gradient(37, 23);
    const Image fused = chain(in, false);
    EXPECT_EQ(fused.pendingOps().size(), 6u);
    const Image stepped = chain(in, true);
    for (int y = 0; y < 23; y += 5) {
        for (int x = 0; x < 37; x += 3) {
            const Color a = fused.pixel(x, y);
            const Color b = stepped.pixel(x, y);
            EXPECT_EQ(a, b) << x << "," << y;
        }
    }
}

TEST(GradeChain, NaNFromACubeNeverReachesIntegerPixels)
{
    CubeLUT cube = warmCube();
    std::vector<float> f = cube.floats();
    for (std::size_t i = 0; i < f.size(); i += 4) {
        f[i] = NAN;
    }
    cube = CubeLUT::fromFloats(cube.size, f);
    const Image graded = applyGammaCompensation(
        applyCompTintImage(applyCubeLUTImage(Image::filled(4, 4, {0.5f, 0.5f, 0.5f, 1}), cube, makeCubeFilter(cube), 1), 0.2),
        1.2);
    PixelBuffer bgra = PixelBuffer::create(PixelFormat::bgra, 4, 4);
    renderImageToPixelBuffer(graded, bgra);
    const std::uint8_t* px = bgra.baseAddress(0);
    EXPECT_EQ(px[2], 0); // red, the NaN component
    EXPECT_GT(px[1], 100);
    PixelBuffer p010 = PixelBuffer::create(PixelFormat::p010, 4, 4);
    renderImageToPixelBuffer(graded, p010);
    std::uint16_t y = 0;
    std::memcpy(&y, p010.baseAddress(0), 2);
    const int code = y >> 6;
    EXPECT_GE(code, 64);
    EXPECT_LE(code, 940);
}

TEST(GradeChain, MoodAndBasicGradeOnAConstantImage)
{
    const Image c = applyBasicGradeImage(applyMoodImage(Image::constant({0.5f, 0.5f, 0.5f, 1}), fullGrade()), fullGrade(), 10, 10);
    ASSERT_TRUE(c.isConstant());
    const Color v = c.constantColor();
    EXPECT_TRUE(v.r >= 0 && v.r <= 1.1f);
    EXPECT_EQ(v.a, 1.0f);
}

// Every mood slider off rest at an amount below 1 (the mix with the colour before the mood) and
// every colour slider of the basic grade, so that each pass of both steps runs.
Params everySlider()
{
    Params p;
    p.moodKey = "kodak_5219";
    p.isMoodEnabled = FlexibleBool{true};
    p.moodAmount = 0.7;
    p.moodContrast = 0.2;
    p.moodSaturation = 0.1;
    p.moodWarmth = 0.15;
    p.moodTealOrange = 0.3;
    p.moodShadowLift = 0.1;
    p.moodHighlightRolloff = 0.4;
    p.exposure = 0.6;
    p.contrast = 0.08;
    p.highlights = -0.1;
    p.shadows = 0.1;
    p.saturation = 0.1;
    p.vibrance = 0.2;
    p.temperature = 0.05;
    p.tint = -0.03;
    return p;
}

Image everyStep(const Image& in)
{
    const CubeLUT cube = warmCube();
    const auto params = std::optional(everySlider());
    Image image = applyCubeLUTImage(in, cube, makeCubeFilter(cube), 1);
    image = applyMoodImage(image, params);
    image = applyBasicGradeImage(image, params, in.width(), in.height());
    image = applyLookAdjust(image, 1.1, 0.9, 0.02);
    image = applyCompTintImage(image, 0.1);
    return applyGammaCompensation(image, resolveGammaMode("rec709a").gammaPower);
}

Image rowOf(const std::vector<Color>& colours)
{
    Image image = Image::allocate(static_cast<int>(colours.size()), 1);
    float* row = image.mutableRow(0);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        row[i * 4 + 0] = colours[i].r;
        row[i * 4 + 1] = colours[i].g;
        row[i * 4 + 2] = colours[i].b;
        row[i * 4 + 3] = colours[i].a;
    }
    return image;
}

TEST(GradeChain, EveryLaneWidthAgreesWithOnePixelAtATime)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(-0.1f, 1.2f);
    for (const int width : {1, 15, 16, 17, 31, 32, 33, 47, 64, 65, 100, 257}) {
        std::vector<Color> colours;
        for (int i = 0; i < width; ++i) {
            colours.push_back({value(rng), value(rng), value(rng), 1});
        }
        const Image wide = everyStep(rowOf(colours)).rendered();
        std::optional<Image> baseline;
        {
            lanes::ScopedBaselineLanes force;
            baseline = everyStep(rowOf(colours)).rendered();
        }
        for (int x = 0; x < width; x += 3) {
            SCOPED_TRACE(::testing::Message() << width << " " << x);
            // One pixel runs on the narrowest loop of the machine.
            const Color alone = everyStep(rowOf({colours[static_cast<std::size_t>(x)]})).pixel(0, 0);
            const Color got = wide.pixel(x, 0);
            EXPECT_COLOR_NEAR(got, alone.r, alone.g, alone.b, 1e-5);
            EXPECT_COLOR_NEAR(baseline->pixel(x, 0), got.r, got.g, got.b, 1e-5);
        }
    }
}

// Steps skip work where every lane of a vector is clear of a threshold; a pixel must come out the
// same whatever its neighbours are.
TEST(GradeChain, PixelsDoNotDependOnTheirNeighbours)
{
    // Greys and tints finely spread over the range, so that some fall close to every threshold.
    std::vector<Color> probes;
    for (int i = 0; i <= 300; ++i) {
        const float v = static_cast<float>(i) / 250.0f;
        probes.push_back({v, v, v, 1});
        probes.push_back({v * 1.1f, v, v * 0.8f, 1});
    }
    const Color extremes[] = {{0.01f, 0.01f, 0.01f, 1}, {0.99f, 0.99f, 0.99f, 1}, {0.45f, 0.2f, 0.9f, 1}};
    for (const bool baseline : {false, true}) {
        std::optional<lanes::ScopedBaselineLanes> force;
        if (baseline) {
            force.emplace();
        }
        for (const Color& probe : probes) {
            std::vector<Color> same(64, probe);
            std::vector<Color> mixed(64, probe);
            for (std::size_t i = 1; i < mixed.size(); i += 2) {
                mixed[i] = extremes[i % 3];
            }
            const Image alike = everyStep(rowOf(same)).rendered();
            const Image varied = everyStep(rowOf(mixed)).rendered();
            for (int x = 0; x < 64; x += 2) {
                EXPECT_EQ(alike.pixel(x, 0), varied.pixel(x, 0)) << probe.r << " " << x << " " << baseline;
            }
        }
    }
}

} // namespace
} // namespace velmora
