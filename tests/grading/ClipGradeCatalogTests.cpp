#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

#include "grading/ClipGradeCatalog.h"

namespace velmora {
namespace {

using namespace velmora::ClipGradeCatalog;

TEST(ClipGradeCatalog, MoodGroupsInMenuOrder)
{
    const auto& groups = moodGroups();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].label, "Cameras");
    EXPECT_EQ(groups[1].label, "Film Stocks");
    EXPECT_EQ(groups[2].label, "Looks");
    EXPECT_EQ(groups[0].items.size(), 13u);
    EXPECT_EQ(groups[1].items.size(), 18u);
    EXPECT_EQ(groups[2].items.size(), 15u);
    EXPECT_EQ(groups[0].items.front(), (MoodOption{"sony_venice", "Sony Venice"}));
    EXPECT_EQ(groups[0].items.back(), (MoodOption{"panavision_dxl2", "Panavision DXL2"}));
    EXPECT_EQ(groups[1].items.front(), (MoodOption{"kodak_vision", "Kodak Vision3 500T"}));
    EXPECT_EQ(groups[1].items[9], (MoodOption{"muted_fuji", "Muted Eterna"}));
    EXPECT_EQ(groups[2].items.front(), (MoodOption{"teal_orange", "Teal & Orange"}));
    EXPECT_EQ(groups[2].items[13], (MoodOption{"film_print", "2383 Print"}));
    EXPECT_EQ(groups[2].items.back(), (MoodOption{"faded_noir", "Faded Noir (B&W)"}));
}

TEST(ClipGradeCatalog, KeysAreUniqueAndNoneIsNotListed)
{
    std::set<std::string> keys;
    std::unordered_set<MoodOption> options;
    for (const auto& group : moodGroups()) {
        for (const auto& option : group.items) {
            EXPECT_TRUE(keys.insert(option.key).second) << option.key;
            options.insert(option);
            EXPECT_NE(option.key, "none");
        }
    }
    EXPECT_EQ(keys.size(), 46u);
    EXPECT_EQ(options.size(), 46u);
}

TEST(ClipGradeCatalog, MoodSliders)
{
    const auto& s = moodSliders();
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[0], (SliderSpec{"moodAmount", "Mood Amount", 0, 1, 0.01, 1, false}));
    EXPECT_EQ(s[4], (SliderSpec{"moodTealOrange", "Teal/Orange Bias", -1, 1, 0.01, 0, true}));
    EXPECT_EQ(s[5].label, "Shadow Lift");
    EXPECT_EQ(s[6], (SliderSpec{"moodHighlightRolloff", "Highlight Rolloff", 0, 1, 0.01, 0, false}));
}

TEST(ClipGradeCatalog, BasicSlidersAndShaderScale)
{
    const auto& s = basicSliders();
    ASSERT_EQ(s.size(), 8u);
    const char* ids[] = {"exposure", "contrast", "highlights", "shadows", "saturation", "vibrance", "temperature", "tint"};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(s[i].id, ids[i]);
        EXPECT_EQ(s[i].defaultValue, 0);
        EXPECT_TRUE(s[i].isSigned);
        EXPECT_EQ(s[i].step, 0.01);
    }
    EXPECT_EQ(s[0].min, -2.0);
    EXPECT_EQ(s[0].max, 2.0);
    EXPECT_EQ(s[7].label, "Tint");
    const auto& scale = basicShaderScale();
    EXPECT_EQ(scale.size(), 8u);
    EXPECT_EQ(scale.at("exposure"), 0.25);
    EXPECT_EQ(scale.at("contrast"), 0.35);
    EXPECT_EQ(scale.at("highlights"), 0.35);
    EXPECT_EQ(scale.at("shadows"), 0.35);
    EXPECT_EQ(scale.at("temperature"), 0.25);
    EXPECT_EQ(scale.at("tint"), 0.3);
    EXPECT_EQ(scale.at("saturation"), 1.0);
    EXPECT_EQ(scale.at("vibrance"), 1.0);
    EXPECT_EQ(scale.count("moodAmount"), 0u);
}

TEST(ClipGradeCatalog, SliderValueText)
{
    EXPECT_EQ(basicSliders()[0].formatValue(0.5), "+0.50");
    EXPECT_EQ(basicSliders()[0].formatValue(-1.256), "-1.26");
    EXPECT_EQ(moodSliders()[0].formatValue(1), "1.00");
}

} // namespace
} // namespace velmora
