#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "model/ClipSpeed.h"
#include "model/EditSession.h"

namespace velmora {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A clip from in point 1 lasting 2 s ends in its source where its rate takes it: the rates a
// document may store, as the editor's timing reads them.
TEST(ClipSpeed, AStoredSpeedSetsWhereTheClipsSourceEnds)
{
    const std::vector<std::pair<std::optional<double>, double>> cases = {
        {std::nullopt, 3.0}, {0.5, 2.0},  {2.5, 6.0},  {10.0, 21.0},  {10.5, 1.21},  {20.0, 1.4},
        {150.0, 4.0},        {0.01, 1.125}, {0.0625, 1.125}, {-150.0, 1.125}, {kInf, 3.0},
        // Percentages up to 10000 % play as written; beyond, at the fastest rate, 100×.
        {1500.0, 31.0},      {10000.0, 201.0}, {1e308, 201.0}, {-1e308, 1.125},
    };
    for (const auto& [stored, outPoint] : cases) {
        EditSession::Clip clip("a");
        clip.inPoint = 1;
        clip.duration = 2;
        clip.speed = stored;
        EditSession::normalizeTiming(clip);
        EXPECT_DOUBLE_EQ(*clip.outPoint, outPoint) << stored.value_or(-1);
    }
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
