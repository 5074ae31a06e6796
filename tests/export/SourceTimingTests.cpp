#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "export/SourceTiming.h"

namespace velmora::Exporter {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(EffectiveSourceOutPoint, IsTheInPointPlusTheSpeededDuration)
{
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 3, 2, std::nullopt), 8);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 3, 200, std::nullopt), 8);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(0, std::nullopt, 5, 0.01, std::nullopt), 0.3125);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(0, std::nullopt, 4, kNaN, std::nullopt), 4);
    // Zero and negative rates play at the floor, as everywhere else a clip's speed is read.
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(0, std::nullopt, 4, 0, std::nullopt), 0.25);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(0, std::nullopt, 4, -2, std::nullopt), 0.25);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(0, std::nullopt, 4, -150, std::nullopt), 0.25);
}

TEST(EffectiveSourceOutPoint, ALaterOutPointExtendsTheEnd)
{
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, 10.0, 3, 2, std::nullopt), 10);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, 5.0, 3, 2, std::nullopt), 8);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, 2.00005, 0, 1, std::nullopt), 2.001);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, kInf, 3, 2, std::nullopt), 8);
}

TEST(EffectiveSourceOutPoint, TheAssetDurationLimitsTheEnd)
{
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 3, 2, 9.0), 8);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, 10.0, 3, 2, 9.0), 9);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 3, 2, 0.04), 8) << "a tiny asset duration is ignored";
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 3, 2, kNaN), 8);
}

TEST(EffectiveSourceOutPoint, NeverEndsBeforeAMillisecondAfterTheInPoint)
{
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(2, std::nullopt, 0, 1, std::nullopt), 2.001);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(5, std::nullopt, 3, 1, 4.0), 5.001);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(-3, std::nullopt, 0, 1, std::nullopt), 0.001);
    EXPECT_DOUBLE_EQ(effectiveSourceOutPoint(1, std::nullopt, -4, 1, std::nullopt), 1.001);
}

} // namespace
} // namespace velmora::Exporter
