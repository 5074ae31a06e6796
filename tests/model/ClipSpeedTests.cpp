#include <gtest/gtest.h>

#include <limits>

#include "model/ClipSpeed.h"
#include "model/EditSession.h"

namespace velmora {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ClipSpeed, NonNumbersAreOneAndSlowOnesTheFloor)
{
    EXPECT_EQ(effectiveClipSpeed(std::nullopt), 1.0);
    EXPECT_EQ(effectiveClipSpeed(kNaN), 1.0);
    EXPECT_EQ(effectiveClipSpeed(kInf), 1.0);
    EXPECT_EQ(effectiveClipSpeed(-kInf), 1.0);
    EXPECT_EQ(effectiveClipSpeed(0.0), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(-0.0), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(-2.0), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(std::numeric_limits<double>::denorm_min()), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(0.01), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(0.0625), 0.0625);
    EXPECT_EQ(effectiveClipSpeed(0.5), 0.5);
    EXPECT_EQ(effectiveClipSpeed(1.0), 1.0);
    EXPECT_EQ(effectiveClipSpeed(2.5), 2.5);
    EXPECT_EQ(effectiveClipSpeed(400.0), 400.0);
}

// The session's timing follows the same rule and keeps the stored field as it was.
TEST(ClipSpeed, TimingOfAClipFollowsTheRuleAndKeepsTheStoredRate)
{
    for (const auto& [stored, outPoint] : {std::pair{kNaN, 3.0}, {kInf, 3.0}, {0.0, 1.125}, {-3.0, 1.125}}) {
        EditSession::Clip clip("a");
        clip.inPoint = 1;
        clip.duration = 2;
        clip.speed = stored;
        EditSession::normalizeTiming(clip);
        EXPECT_EQ(clip.outPoint, outPoint) << stored;
        ASSERT_TRUE(clip.speed.has_value());
        EXPECT_EQ(std::isnan(*clip.speed), std::isnan(stored));
    }
}

} // namespace
} // namespace velmora
