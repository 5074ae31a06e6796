#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
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

// The lane functions on the machine's widest lane loop (16 lanes use the AVX-512 exponent
// instructions, the others integer operations) or on the baseline (4 lanes, no fused
// multiply-add), over floats spread evenly through [lo, 4].
template <class Kernel>
std::vector<std::pair<float, float>> onLanes(float lo, std::uint32_t stride, const Kernel& kernel,
                                             std::initializer_list<bool> loops = {false, true})
{
    std::uint32_t first;
    std::uint32_t last;
    const float four = 4.0f;
    std::memcpy(&first, &lo, sizeof first);
    std::memcpy(&last, &four, sizeof last);
    std::vector<float> inputs;
    for (std::uint32_t bits = first; bits <= last; bits += stride) {
        float x;
        std::memcpy(&x, &bits, sizeof x);
        inputs.push_back(x);
    }
    std::vector<std::pair<float, float>> results;
    alignas(64) float r[256], g[256], b[256], a[256];
    for (const bool baseline : loops) {
        std::optional<lanes::ScopedBaselineLanes> force;
        if (baseline) {
            force.emplace();
        }
        for (std::size_t begin = 0; begin < inputs.size(); begin += 256) {
            const std::size_t n = std::min<std::size_t>(256, inputs.size() - begin);
            for (std::size_t i = 0; i < 256; ++i) {
                r[i] = i < n ? inputs[begin + i] : 1.0f;
                g[i] = b[i] = a[i] = 0;
            }
            lanes::forEachLane(kernel, PlanarSpan{r, g, b, a, 256, 256});
            for (std::size_t i = 0; i < n; ++i) {
                results.emplace_back(inputs[begin + i], r[i]);
            }
        }
    }
    return results;
}

double ulpsFrom(float got, double want)
{
    const float rounded = static_cast<float>(want);
    const double ulp = std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded);
    return std::fabs(static_cast<double>(got) - want) / ulp;
}

struct PowKernel {
    float p;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V&, V&, V&, std::size_t) const
    {
        r = powNonNegative(r, lanes::splat<V>(p));
    }
};

TEST(FastPow, LanesWithinAFewUlpsOfDoublePrecision)
{
    // Worst errors in units in the last place, measured over every float: for pixel values
    // (from 2^-16) and for every normal float up to 4, where 2^((p - 1) log2 x) grows large; on
    // the widest lanes and on the baseline, which rounds each product separately.
    struct Bound {
        float p;
        double pixels;
        double everywhere;
        double baselinePixels;
        double baselineEverywhere;
    };
    for (const Bound bound : {Bound{0.92f, 3, 8, 3, 13}, Bound{0.97f, 3, 8, 3, 13}, Bound{1.02f, 3, 8, 3, 13},
                              Bound{1.05f, 3, 8, 3, 13}, Bound{1.08f, 3, 8, 3, 13}, Bound{1.1218766f, 3, 8, 3, 13},
                              Bound{0.9090909f, 3, 8, 3, 13}, Bound{2.2f, 16, 48, 21, 75},
                              Bound{0.5f, 6, 26, 6, 26}}) {
        for (const bool baseline : {false, true}) {
            double pixels = 0;
            double everywhere = 0;
            for (const auto& [x, got] : onLanes(std::numeric_limits<float>::min(), 1013, PowKernel{bound.p}, {baseline})) {
                const double want = std::pow(static_cast<double>(x), static_cast<double>(bound.p));
                if (want < std::numeric_limits<float>::min()) {
                    continue;
                }
                const double error = ulpsFrom(got, want);
                everywhere = std::max(everywhere, error);
                if (x >= 1.0f / 65536) {
                    pixels = std::max(pixels, error);
                }
            }
            EXPECT_LE(pixels, baseline ? bound.baselinePixels : bound.pixels) << bound.p << " " << baseline;
            EXPECT_LE(everywhere, baseline ? bound.baselineEverywhere : bound.everywhere) << bound.p << " " << baseline;
        }
    }
}

struct Exp2Kernel {
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V&, V&, V&, std::size_t) const
    {
        r = exp2(r * 64.0f - 126.0f); // [0, 4] onto [-126, 130]
    }
};

struct Log2Kernel {
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V&, V&, V&, std::size_t) const
    {
        r = log2Positive(r);
    }
};

TEST(FastExp2AndLog2, LanesAgainstDoublePrecision)
{
    for (const auto& [x, got] : onLanes(0.0f, 4099, Exp2Kernel{})) {
        const float y = x * 64.0f - 126.0f;
        if (y >= 128.0f) {
            ASSERT_TRUE(std::isinf(got)) << y;
        } else {
            ASSERT_LE(ulpsFrom(got, std::exp2(static_cast<double>(y))), 2.0) << y;
        }
    }
    // log2 is for powers: its absolute error is what reaches them.
    for (const auto& [x, got] : onLanes(std::numeric_limits<float>::min(), 997, Log2Kernel{})) {
        const double want = std::log2(static_cast<double>(x));
        const float rounded = static_cast<float>(want);
        const double halfUlp = (std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded)) / 2;
        ASSERT_LE(std::fabs(got - want), 2e-7 + halfUlp) << x;
    }
}

struct SpecialKernel {
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V&, V&, std::size_t) const
    {
        g = exp2(r);
        r = powNonNegative(r, lanes::splat<V>(0.9f));
    }
};

TEST(FastPow, SpecialValuesOnEveryLoop)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float inputs[] = {NAN, 0.0f, -0.0f, 1e-40f, -1.0f, -inf, inf, 1.0f, 200.0f, -200.0f};
    for (const bool baseline : {false, true}) {
        std::optional<lanes::ScopedBaselineLanes> force;
        if (baseline) {
            force.emplace();
        }
        alignas(64) float r[32], g[32], b[32] = {}, a[32] = {};
        for (int i = 0; i < 32; ++i) {
            r[i] = inputs[i % 10];
            g[i] = 0;
        }
        lanes::forEachLane(SpecialKernel{}, PlanarSpan{r, g, b, a, 32, 32});
        for (int i = 0; i < 32; ++i) {
            const float x = inputs[i % 10];
            SCOPED_TRACE(::testing::Message() << x << " " << baseline);
            // x^0.9: NaN, zeros, subnormals and negatives give 0; infinity stays.
            EXPECT_EQ(r[i], x == inf ? inf : (x == 1.0f ? 1.0f : (x == 200.0f ? r[i] : 0.0f)));
            if (std::isnan(x)) {
                EXPECT_TRUE(std::isnan(g[i]));
            } else if (x >= 128.0f) {
                EXPECT_EQ(g[i], inf);
            } else if (x <= -150.0f) {
                EXPECT_EQ(g[i], 0.0f);
            }
        }
        EXPECT_NEAR(r[8], std::pow(200.0, 0.9), 2e-6 * std::pow(200.0, 0.9));
        EXPECT_EQ(g[7], 2.0f);
    }
}

} // namespace
} // namespace velmora
