#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "platform/image/FastMath.h"
#include "platform/image/LaneLoop.h"

namespace velmora {
namespace {

using namespace velmora::fastmath;

TEST(FastPow, MatchesTheLibraryOverThePixelRange)
{
    double worst = 0;
    for (float p : {0.5f, 0.9090909f, 0.97f, 1.02f, 1.1218766f, 2.2f, 2.4f}) {
        for (int i = 1; i <= 20000; ++i) {
            const float x = static_cast<float>(i) / 10000.0f; // (0, 2]
            const double want = std::pow(static_cast<double>(x), static_cast<double>(p));
            const double got = fastmath::pow(x, p);
            worst = std::max(worst, std::fabs(got - want) / want);
        }
    }
    EXPECT_LT(worst, 2e-6);
}

TEST(FastPow, SpecialValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(fastmath::pow(0.0f, 2.0f), 0.0f);
    EXPECT_EQ(fastmath::pow(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(fastmath::pow(0.0f, -1.0f), inf);
    EXPECT_EQ(fastmath::pow(1e-40f, 2.0f), 0.0f);
    EXPECT_TRUE(std::isnan(fastmath::pow(-0.5f, 2.0f)));
    EXPECT_EQ(fastmath::pow(-0.5f, 0.0f), 1.0f);
    EXPECT_EQ(fastmath::pow(inf, 2.0f), inf);
    EXPECT_EQ(fastmath::pow(inf, -2.0f), 0.0f);
    EXPECT_TRUE(std::isnan(fastmath::pow(NAN, 2.0f)));
    EXPECT_EQ(fastmath::pow(1.0f, 2.2f), 1.0f);
    EXPECT_EQ(fastmath::pow(2.0f, 200.0f), inf);
    EXPECT_NEAR(fastmath::signedPow(-0.25f, 0.5f), -0.5f, 1e-7);
}

TEST(FastPow, NonNegativeFormTreatsNaNAsZero)
{
    const lanes::F4 x{NAN, 0.0f, 0.25f, std::numeric_limits<float>::infinity()};
    const lanes::F4 r = powNonNegative(x, lanes::splat<lanes::F4>(2.0f));
    EXPECT_EQ(r[0], 0.0f);
    EXPECT_EQ(r[1], 0.0f);
    EXPECT_NEAR(r[2], 0.0625f, 1e-8);
    EXPECT_TRUE(std::isinf(r[3]));
}

// Lane values wider than 16 bytes only pass between functions inlined into the lane loops.
#pragma GCC diagnostic ignored "-Wpsabi"

// r / g on every lane loop the machine has, against the exact float quotient.
struct QuotientKernel {
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V&, V&, std::size_t) const
    {
        r = lanes::vdiv(r, g);
    }
};

TEST(LaneDivision, IsWithinOneUnitInTheLastPlaceForNormalDivisors)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> numerator(-4.0f, 4.0f);
    std::uniform_real_distribution<float> exponent(-20.0f, 20.0f);
    alignas(64) float r[256], g[256], b[256], a[256];
    for (const bool baseline : {false, true}) {
        std::optional<lanes::ScopedBaselineLanes> force;
        if (baseline) {
            force.emplace();
        }
        for (int round = 0; round < 40; ++round) {
            std::vector<float> expected(256);
            for (int i = 0; i < 256; ++i) {
                r[i] = numerator(rng);
                g[i] = std::exp2(exponent(rng)) * (i % 3 == 0 ? -1.0f : 1.0f);
                b[i] = a[i] = 0;
                expected[i] = r[i] / g[i];
            }
            lanes::forEachLane(QuotientKernel{}, PlanarSpan{r, g, b, a, 256, 256});
            for (int i = 0; i < 256; ++i) {
                const float ulp = std::nextafter(std::fabs(expected[i]), INFINITY) - std::fabs(expected[i]);
                ASSERT_LE(std::fabs(r[i] - expected[i]), ulp) << g[i] << " " << baseline;
            }
        }
    }
}

TEST(FastExp2, IntegersAreExactAndRangeEndsSaturate)
{
    for (int k = -126; k <= 127; ++k) {
        EXPECT_EQ(fastmath::exp2(lanes::splat<lanes::F4>(static_cast<float>(k)))[0], std::ldexp(1.0f, k)) << k;
    }
    EXPECT_EQ(fastmath::exp2(lanes::splat<lanes::F4>(-200.0f))[0], 0.0f);
    EXPECT_TRUE(std::isinf(fastmath::exp2(lanes::splat<lanes::F4>(130.0f))[0]));
}

} // namespace
} // namespace velmora
