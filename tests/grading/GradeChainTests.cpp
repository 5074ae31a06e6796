#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "grading/BasicGrade.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferImage.h"
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

} // namespace
} // namespace velmora
