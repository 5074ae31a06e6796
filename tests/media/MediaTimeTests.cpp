#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/media/MediaTime.h"

namespace velmora {
namespace {

TEST(MediaTimeFromSeconds, RoundsToNearestTickWithTiesAwayFromZero)
{
    EXPECT_EQ(MediaTime::fromSeconds(1.0, 600).value(), 600);
    EXPECT_EQ(MediaTime::fromSeconds(1.0 / 29.97, 60000).value(), 2002);
    EXPECT_EQ(MediaTime::fromSeconds(0.5 / 600, 600).value(), 1);    // tie away from zero
    EXPECT_EQ(MediaTime::fromSeconds(-0.5 / 600, 600).value(), -1);
    EXPECT_EQ(MediaTime::fromSeconds(0.0004, 1000).value(), 0);
    EXPECT_EQ(MediaTime::fromSeconds(30.0 / 29.97, 60000).value(), 60060);
}

TEST(MediaTimeFromSeconds, DirectedRoundings)
{
    EXPECT_EQ(MediaTime::fromSeconds(1.25, 2, MediaTimeRounding::towardZero).value(), 2);
    EXPECT_EQ(MediaTime::fromSeconds(1.25, 2, MediaTimeRounding::awayFromZero).value(), 3);
    EXPECT_EQ(MediaTime::fromSeconds(-1.25, 2, MediaTimeRounding::towardNegativeInfinity).value(), -3);
    EXPECT_EQ(MediaTime::fromSeconds(-1.25, 2, MediaTimeRounding::towardPositiveInfinity).value(), -2);
}

TEST(MediaTimeFromSeconds, NonFiniteAndHugeValues)
{
    EXPECT_FALSE(MediaTime::fromSeconds(std::nan(""), 600).isValid());
    EXPECT_TRUE(MediaTime::fromSeconds(std::numeric_limits<double>::infinity(), 600).isPositiveInfinity());
    EXPECT_TRUE(MediaTime::fromSeconds(-std::numeric_limits<double>::infinity(), 600).isNegativeInfinity());
    EXPECT_TRUE(MediaTime::fromSeconds(1e300, 600).isPositiveInfinity());
    EXPECT_TRUE(MediaTime::fromSeconds(-1e300, 600).isNegativeInfinity());
    EXPECT_FALSE(MediaTime::fromSeconds(1.0, 0).isValid());
    EXPECT_FALSE(MediaTime(5, -3).isValid());
}

TEST(MediaTimeComparison, IsExactAcrossTimescales)
{
    EXPECT_EQ(MediaTime(1, 2), MediaTime(300, 600));
    EXPECT_LT(MediaTime(1001, 30000), MediaTime(1, 29));
    EXPECT_GT(MediaTime(1001, 30000), MediaTime(1, 30));
    // Values whose cross products overflow 64 bits still compare exactly.
    const std::int64_t big = std::numeric_limits<std::int64_t>::max() - 1;
    EXPECT_LT(MediaTime(big - 1, 1000000007), MediaTime(big, 1000000007));
    // big / 4 == (big / 2) / 2 exactly; both cross products exceed 64 bits.
    EXPECT_EQ(MediaTime(big, 4), MediaTime(big / 2, 2));
    EXPECT_NE(MediaTime(big, 4), MediaTime(big / 2 - 1, 2));
    EXPECT_GT(MediaTime(big, 4), MediaTime(big / 2 - 1, 2));
}

TEST(MediaTimeComparison, OrdersInfinitiesAndInvalid)
{
    const MediaTime finite(5, 1);
    EXPECT_LT(MediaTime::negativeInfinity(), finite);
    EXPECT_LT(finite, MediaTime::positiveInfinity());
    EXPECT_LT(MediaTime::positiveInfinity(), MediaTime::invalid());
    EXPECT_EQ(MediaTime::invalid(), MediaTime());
}

TEST(MediaTimeArithmetic, AddsOnTheCommonTimescale)
{
    const MediaTime sum = MediaTime(1, 600) + MediaTime(1, 1000);
    EXPECT_EQ(sum.timescale(), 3000);
    EXPECT_EQ(sum.value(), 8);
    EXPECT_EQ(MediaTime(3, 4) - MediaTime(1, 4), MediaTime(1, 2));
    EXPECT_EQ((MediaTime(1001, 30000).multipliedBy(30)), MediaTime(30030, 30000));
    EXPECT_EQ(-MediaTime(3, 10), MediaTime(-3, 10));
}

TEST(MediaTimeArithmetic, FallsBackToTheLargerTimescaleWhenTheCommonOneOverflows)
{
    const MediaTime a(1, 2147483647);
    const MediaTime b(1, 2147483629);
    const MediaTime sum = a + b;
    EXPECT_EQ(sum.timescale(), 2147483647);
    EXPECT_EQ(sum.value(), 2);
}

TEST(MediaTimeArithmetic, InfinitiesAndInvalid)
{
    EXPECT_TRUE((MediaTime::positiveInfinity() + MediaTime(1, 1)).isPositiveInfinity());
    EXPECT_FALSE((MediaTime::positiveInfinity() + MediaTime::negativeInfinity()).isValid());
    EXPECT_FALSE((MediaTime::invalid() + MediaTime(1, 1)).isValid());
    EXPECT_TRUE((MediaTime(1, 1) - MediaTime::positiveInfinity()).isNegativeInfinity());
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    EXPECT_TRUE((MediaTime(max, 1) + MediaTime(1, 1)).isPositiveInfinity());
    EXPECT_TRUE(MediaTime(max, 1).multipliedBy(2).isPositiveInfinity());
}

TEST(MediaTimeConvertScale, RoundsAsAsked)
{
    EXPECT_EQ(MediaTime(1001, 30000).convertScale(600).value(), 20); // 20.02
    EXPECT_EQ(MediaTime(1, 3).convertScale(2).value(), 1);           // 0.667
    EXPECT_EQ(MediaTime(1, 4).convertScale(2).value(), 1);           // 0.5 away from zero
    EXPECT_EQ(MediaTime(-1, 4).convertScale(2).value(), -1);
    EXPECT_EQ(MediaTime(1, 3).convertScale(2, MediaTimeRounding::towardZero).value(), 0);
    EXPECT_EQ(MediaTime(5, 3).convertScale(1, MediaTimeRounding::towardPositiveInfinity).value(), 2);
    EXPECT_EQ(MediaTime(-5, 3).convertScale(1, MediaTimeRounding::towardNegativeInfinity).value(), -2);
    EXPECT_FALSE(MediaTime(1, 3).convertScale(0).isValid());
}

TEST(MediaTimeSeconds, ConvertsAndDescribes)
{
    EXPECT_DOUBLE_EQ(MediaTime(30030, 30000).seconds(), 1.001);
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
    EXPECT_EQ(MediaTime(1001, 30000).description(), "1001/30000");
    EXPECT_EQ(MediaTime::positiveInfinity().description(), "+inf");
}

TEST(MediaTimeRangeTests, EndContainsAndIntersection)
{
    const MediaTimeRange range(MediaTime(1, 1), MediaTime(2, 1));
    EXPECT_EQ(range.end(), MediaTime(3, 1));
    EXPECT_TRUE(range.containsTime(MediaTime(1, 1)));
    EXPECT_FALSE(range.containsTime(MediaTime(3, 1)));
    const MediaTimeRange other(MediaTime(5, 2), MediaTime(5, 1));
    const MediaTimeRange overlap = range.intersection(other);
    EXPECT_EQ(overlap.start, MediaTime(5, 2));
    EXPECT_EQ(overlap.duration, MediaTime(1, 2));
    const MediaTimeRange none = range.intersection(MediaTimeRange(MediaTime(10, 1), MediaTime(1, 1)));
    EXPECT_TRUE(none.isEmpty());
    EXPECT_EQ(MediaTimeRange::fromStartEnd(MediaTime(4, 1), MediaTime(2, 1)).duration, MediaTime::zero());
}

} // namespace
} // namespace velmora
