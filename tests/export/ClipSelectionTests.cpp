#include <gtest/gtest.h>

#include "export/ClipSelection.h"

namespace velmora::Exporter {
namespace {

using Clip = EditorJobV2::Clip;

Clip clip(const std::optional<std::string>& id, const std::optional<std::string>& type, double start,
          double duration = 1)
{
    Clip c;
    c.id = id;
    c.type = type;
    c.sourceId = "s1";
    c.startTime = start;
    c.duration = duration;
    return c;
}

std::vector<std::string> ids(const std::vector<Clip>& clips)
{
    std::vector<std::string> out;
    for (const auto& c : clips) {
        out.push_back(c.id.value_or("?"));
    }
    return out;
}

TEST(TimelineVideoClipsSorted, KeepsVideoClipsByStartStably)
{
    const std::vector<Clip> clips = {clip("late", "video", 5),     clip("img", "image", 0),
                                     clip("first", "video", 1),    clip("same", "Video", 1),
                                     clip("spaced", " video ", 0), clip("none", std::nullopt, 0),
                                     clip("snd", "audio", 0)};
    EXPECT_EQ(ids(timelineVideoClipsSorted(clips)), (std::vector<std::string>{"spaced", "first", "same", "late"}));
}

TEST(TimelineVideoClipsSorted, MissingStartCountsAsZero)
{
    Clip noStart = clip("nostart", "video", 0);
    noStart.startTime.reset();
    EXPECT_EQ(ids(timelineVideoClipsSorted({clip("a", "video", 0.5), noStart})),
              (std::vector<std::string>{"nostart", "a"}));
}

TEST(CanUseFastStreamExport, NeedsAVideoType)
{
    EXPECT_TRUE(canUseFastStreamExport(clip("a", "video", 0)));
    EXPECT_TRUE(canUseFastStreamExport(clip("a", "Video", 0)));
    EXPECT_FALSE(canUseFastStreamExport(clip("a", " video ", 0)));
    EXPECT_FALSE(canUseFastStreamExport(clip("a", "image", 0)));
    EXPECT_FALSE(canUseFastStreamExport(clip("a", std::nullopt, 0)));
}

TEST(CanUseFastStreamExport, ReadsSpeedAsFactorOrPercent)
{
    Clip c = clip("a", "video", 0);
    for (const auto& [speed, expected] : std::vector<std::pair<double, bool>>{
             {100, true}, {1.005, true}, {1.02, false}, {250, false}, {0.995, true}, {99.5, true}, {-1, false}}) {
        c.speed = speed;
        EXPECT_EQ(canUseFastStreamExport(c), expected) << speed;
    }
    c.speed = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(canUseFastStreamExport(c));
}

TEST(CanUseFastStreamExport, LooksAtRampsOfTwoOrMoreKeyframes)
{
    Clip c = clip("a", "video", 0);
    c.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 2, std::nullopt}};
    EXPECT_TRUE(canUseFastStreamExport(c));
    c.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 100, std::nullopt}, {1, 1.005, std::nullopt}};
    EXPECT_TRUE(canUseFastStreamExport(c));
    c.speedKeyframes = std::vector<EditorJobV2::SpeedKeyframe>{{0, 1, std::nullopt}, {1, 150, std::nullopt}};
    EXPECT_FALSE(canUseFastStreamExport(c));
}

TEST(MissingSources, ListsUsedSourcesWithoutFilesInJobOrder)
{
    std::vector<EditorJobV2::Source> sources = {{"b", "b.mov", {}}, {"a", "a.mov", {}}, {"c", "c.mov", {}}};
    const auto missing = missingSources(sources, {"a", "b"}, {{"c", "/m/c.mov"}});
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].fileName, "b.mov");
    EXPECT_EQ(missing[1].fileName, "a.mov");
}

TEST(KeyNumber, WritesIntegralValuesWithOneDecimal)
{
    EXPECT_EQ(keyNumber(0), "0.0");
    EXPECT_EQ(keyNumber(12.5), "12.5");
    EXPECT_EQ(keyNumber(3), "3.0");
    EXPECT_EQ(keyNumber(0.1), "0.1");
}

} // namespace
} // namespace velmora::Exporter
