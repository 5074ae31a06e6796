#include <gtest/gtest.h>

#include <cmath>

#include "grading/LutApplication.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using Exporter::applyCubeLUTImage;
using Exporter::makeCubeFilter;

// Entry (i, j, k) = f(i / (n - 1), j / (n - 1), k / (n - 1)), red fastest.
template <class F>
CubeLUT makeCube(int n, F f)
{
    std::vector<float> v;
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const Color c = f(i / float(n - 1), j / float(n - 1), k / float(n - 1));
                v.insert(v.end(), {c.r, c.g, c.b, 1.0f});
            }
        }
    }
    return CubeLUT::fromFloats(n, v);
}

CubeLUT identityCube(int n)
{
    return makeCube(n, [](float r, float g, float b) { return Color{r, g, b, 1}; });
}

// An affine map that trilinear interpolation reproduces exactly.
Color affine(float r, float g, float b)
{
    return {0.5f * r + 0.25f * g + 0.1f, 0.8f * g - 0.2f * b + 0.15f, 0.3f * r + 0.6f * b, 1};
}

TEST(CubeFilter, IdentityCubeReturnsItsInput)
{
    const CubeLUT cube = identityCube(33);
    const Image in = rowImage({{0.1f, 0.5f, 0.9f, 1}, {0.333f, 0.777f, 0.0123f, 0.5f}, {0, 1, 0.5f, 1}});
    const Image out = *makeCubeFilter(cube).outputImage(in);
    for (int x = 0; x < 3; ++x) {
        const Color a = in.pixel(x, 0);
        const Color b = out.pixel(x, 0);
        EXPECT_COLOR_NEAR(b, a.r, a.g, a.b, 1e-6);
        EXPECT_EQ(b.a, a.a);
    }
}

TEST(CubeFilter, LatticePointsAreExact)
{
    const CubeLUT cube = makeCube(5, [](float r, float g, float b) {
        return Color{r * r + 0.01f, std::sqrt(g), 1 - b, 1};
    });
    const std::vector<float> f = cube.floats();
    const Image in = rowImage({{0.25f, 0.5f, 0.75f, 1}, {1, 0, 1, 1}});
    const Image out = *makeCubeFilter(cube).outputImage(in);
    const int e1 = (1 + 5 * 2 + 25 * 3) * 4;
    EXPECT_EQ(out.pixel(0, 0).r, f[e1]);
    EXPECT_EQ(out.pixel(0, 0).g, f[e1 + 1]);
    EXPECT_EQ(out.pixel(0, 0).b, f[e1 + 2]);
    const int e2 = (4 + 0 + 25 * 4) * 4;
    EXPECT_EQ(out.pixel(1, 0).r, f[e2]);
    EXPECT_EQ(out.pixel(1, 0).b, f[e2 + 2]);
}

TEST(CubeFilter, AffineCubeIsExactBetweenLatticePoints)
{
    const CubeLUT cube = makeCube(3, affine);
    const Image in = rowImage({{0.13f, 0.71f, 0.42f, 1}, {0.99f, 0.01f, 0.5f, 1}});
    const Image out = *makeCubeFilter(cube).outputImage(in);
    for (int x = 0; x < 2; ++x) {
        const Color i = in.pixel(x, 0);
        const Color e = affine(i.r, i.g, i.b);
        EXPECT_COLOR_NEAR(out.pixel(x, 0), e.r, e.g, e.b, 1e-6);
    }
}

TEST(CubeFilter, InputsAreClampedAndNaNLooksUpZero)
{
    const CubeLUT cube = makeCube(3, affine);
    const Image in = rowImage({{1.7f, -0.4f, NAN, 0.25f}});
    const Color out = makeCubeFilter(cube).outputImage(in)->pixel(0, 0);
    const Color e = affine(1, 0, 0);
    EXPECT_COLOR_NEAR(out, e.r, e.g, e.b, 1e-6);
    EXPECT_EQ(out.a, 0.25f);
}

TEST(CubeFilter, UnusableCubesYieldNoImage)
{
    CubeLUT wrong = identityCube(3);
    wrong.data.pop_back();
    EXPECT_FALSE(makeCubeFilter(wrong).outputImage(singlePixel(0.5f, 0.5f, 0.5f)).has_value());
    EXPECT_FALSE(makeCubeFilter(CubeLUT{}).isUsable());
    const Image in = singlePixel(0.2f, 0.3f, 0.4f);
    EXPECT_TRUE(applyCubeLUTImage(in, wrong, makeCubeFilter(wrong), 1).isIdenticalTo(in));
}

class CubeStrength : public ::testing::Test {
protected:
    CubeLUT cube = makeCube(2, [](float r, float g, float b) { return Color{1 - r, 1 - g, 1 - b, 1}; });
    Exporter::CubeFilter filter = makeCubeFilter(cube);
    Image in = singlePixel(0.2f, 0.6f, 1.0f);
};

TEST_F(CubeStrength, NegligibleStrengthReturnsTheInputItself)
{
    for (double s : {0.0, -3.0, 0.0001, double(NAN)}) {
        EXPECT_TRUE(applyCubeLUTImage(in, cube, filter, s).isIdenticalTo(in)) << s;
    }
}

TEST_F(CubeStrength, FullStrengthIsTheCubeAlone)
{
    for (double s : {1.0, 7.0, 0.9999}) {
        const Image out = applyCubeLUTImage(in, cube, filter, s);
        EXPECT_EQ(out.pendingOps().size(), 1u) << s;
        EXPECT_COLOR_NEAR(out.pixel(0, 0), 0.8f, 0.4f, 0.0f, 1e-6);
    }
}

TEST_F(CubeStrength, IntermediateStrengthMixes)
{
    EXPECT_COLOR_NEAR(applyCubeLUTImage(in, cube, filter, 0.5).pixel(0, 0), 0.5f, 0.5f, 0.5f, 1e-6);
    EXPECT_COLOR_NEAR(applyCubeLUTImage(in, cube, filter, 0.25).pixel(0, 0), 0.35f, 0.55f, 0.75f, 1e-6);
}

TEST(ImageTagging, TagImageReturnsItsArgument)
{
    const Image in = singlePixel(1, 2, 3);
    EXPECT_TRUE(Exporter::tagCIImage(in).isIdenticalTo(in));
}

TEST(ImageTagging, DecodeFillsOnlyMissingValues)
{
    ImageTags tags;
    tags.transferFunction = "ITU_R_2020";
    Exporter::tagPixelBufferDecode(tags);
    EXPECT_EQ(tags.colorRange, "VideoRange");
    EXPECT_EQ(tags.yCbCrMatrix, "ITU_R_709_2");
    EXPECT_EQ(tags.colorPrimaries, "ITU_R_709_2");
    EXPECT_EQ(tags.transferFunction, "ITU_R_2020");
    EXPECT_FALSE(tags.gammaLevel);
}

TEST(ImageTagging, ExportAlwaysWritesFourValuesAndAValidGammaLevel)
{
    for (std::optional<double> level : {std::optional<double>{}, std::optional<double>{0.0},
                                        std::optional<double>{-2.0}, std::optional<double>{INFINITY},
                                        std::optional<double>{NAN}}) {
        ImageTags tags;
        tags.colorRange = "FullRange";
        tags.colorPrimaries = "ITU_R_2020";
        Exporter::tagPixelBufferExport(tags, "IEC_sRGB", level);
        EXPECT_EQ(tags.colorRange, "VideoRange");
        EXPECT_EQ(tags.colorPrimaries, "ITU_R_709_2");
        EXPECT_EQ(tags.yCbCrMatrix, "ITU_R_709_2");
        EXPECT_EQ(tags.transferFunction, "IEC_sRGB");
        EXPECT_FALSE(tags.gammaLevel);
    }
    ImageTags tags;
    Exporter::tagPixelBufferExport(tags, "ITU_R_709_2", 1.961);
    EXPECT_EQ(tags.gammaLevel, 1.961);
}

TEST(ImageTagging, ExportColourSpaceIsSRGB)
{
    EXPECT_EQ(Exporter::csExport().name, "sRGB");
}

} // namespace
} // namespace velmora
