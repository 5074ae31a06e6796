#include <gtest/gtest.h>

#include <thread>

#include "grading/BasicGrade.h"
#include "grading/GradingCaches.h"
#include "grading/MoodGrade.h"
#include "grading/GradeKernels.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::Exporter;

std::string key(int i)
{
    return "k" + std::to_string(i);
}

TEST(FifoCache, KeepsUpToItsCapacityAndEvictsTheFirstStored)
{
    FifoCache<int> cache(24);
    for (int i = 0; i < 24; ++i) {
        cache.store(key(i), i);
    }
    EXPECT_EQ(cache.size(), 24u);
    // Reading the oldest entry many times does not protect it.
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(cache.lookup(key(0)), 0);
    }
    cache.store(key(24), 24);
    EXPECT_FALSE(cache.lookup(key(0)));
    EXPECT_EQ(cache.lookup(key(1)), 1);
    EXPECT_EQ(cache.size(), 24u);
    EXPECT_EQ(cache.keyOrder().front(), key(1));
    EXPECT_EQ(cache.keyOrder().back(), key(24));
}

TEST(FifoCache, DuplicateStoresKeepTheLaterValueAndListTheKeyTwice)
{
    FifoCache<int> cache(3);
    cache.store("a", 1);
    cache.store("a", 2);
    EXPECT_EQ(cache.lookup("a"), 2);
    EXPECT_EQ(cache.keyOrder(), (std::vector<std::string>{"a", "a"}));
    cache.store("b", 3);
    cache.store("c", 4); // the older "a" listing leaves, and the entry with it
    EXPECT_FALSE(cache.lookup("a"));
    EXPECT_EQ(cache.keyOrder(), (std::vector<std::string>{"a", "b", "c"}));
    cache.store("d", 5); // the newer "a" listing leaves; nothing left to remove for it
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.keyOrder(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST(GradingCaches, CapacitiesAndPreviewFrameKeys)
{
    EXPECT_EQ(previewBaseFrameCache().capacity(), 6u);
    EXPECT_EQ(basicCubeCache().capacity(), 24u);
    EXPECT_EQ(moodCubeCache().capacity(), 24u);
    EXPECT_EQ(previewBaseFrameKey("/media/a.mov", 120, 1920, 1080), "/media/a.mov#120#1920x1080");

    previewBaseFrameCache().removeAll();
    for (int i = 0; i < 7; ++i) {
        previewBaseFrameCache().store(previewBaseFrameKey("/m.mov", i, 4, 4), Image::filled(4, 4, {0, 0, 0, 1}));
    }
    EXPECT_EQ(previewBaseFrameCache().size(), 6u);
    EXPECT_FALSE(previewBaseFrameCache().contains("/m.mov#0#4x4"));
    EXPECT_TRUE(previewBaseFrameCache().contains("/m.mov#6#4x4"));
    previewBaseFrameCache().removeAll();
}

TEST(GradingCaches, TwentyFiveMoodCubesEvictTheFirstEvenIfRecentlyUsed)
{
    moodCubeCache().removeAll();
    const Image in = testing::singlePixel(0.5f, 0.5f, 0.5f);
    for (int i = 0; i < 24; ++i) {
        applyMoodFallbackCube(in, 1, 1, i * 0.01, 0, 0, 0, 0, 0);
    }
    EXPECT_EQ(moodCubeCache().size(), 24u);
    const std::string first = moodCubeKey(1, 1, 0, 0, 0, 0, 0, 0);
    applyMoodFallbackCube(in, 1, 1, 0, 0, 0, 0, 0, 0); // a hit: no reordering
    EXPECT_EQ(moodCubeCache().keyOrder().front(), first);
    applyMoodFallbackCube(in, 1, 1, 0.5, 0, 0, 0, 0, 0);
    EXPECT_FALSE(moodCubeCache().contains(first));
    EXPECT_EQ(moodCubeCache().size(), 24u);
    moodCubeCache().removeAll();
}

TEST(GradingCaches, MoodAndBasicCubesNeverShareEntries)
{
    moodCubeCache().removeAll();
    basicCubeCache().removeAll();
    const Image in = testing::singlePixel(0.5f, 0.5f, 0.5f);
    applyMoodFallbackCube(in, 1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5);
    applyBasicGradeFallbackCube(in, 1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5);
    EXPECT_EQ(moodCubeCache().size(), 1u);
    EXPECT_EQ(basicCubeCache().size(), 1u);
    EXPECT_NE(moodCubeCache().keyOrder().front(), basicCubeCache().keyOrder().front());
    EXPECT_EQ(moodCubeCache().keyOrder().front().substr(0, 2), "m=");
    EXPECT_EQ(basicCubeCache().keyOrder().front().substr(0, 2), "e=");
    moodCubeCache().removeAll();
    basicCubeCache().removeAll();
}

TEST(GradingCaches, ConcurrentMissesStayWithinCapacity)
{
    moodCubeCache().removeAll();
    const Image in = testing::singlePixel(0.5f, 0.5f, 0.5f);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const Color c = applyMoodFallbackCube(in, 1 + (i % 13), 1, 0, 0, 0, 0, 0, (i + t) % 15 * 0.01).pixel(0, 0);
                EXPECT_TRUE(c.r >= 0 && c.r <= 1);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_LE(moodCubeCache().size(), 24u);
    EXPECT_LE(moodCubeCache().keyOrder().size(), 24u);
    moodCubeCache().removeAll();
}

TEST(GradingCaches, SixDecimalNumbers)
{
    EXPECT_EQ(formatSixDecimals(0.2000001), "0.200000");
    EXPECT_EQ(formatSixDecimals(-0.0000004), "-0.000000");
    EXPECT_EQ(formatSixDecimals(1.0000005), "1.000001");
    EXPECT_EQ(formatSixDecimals(12345.5), "12345.500000");
}

} // namespace
} // namespace velmora
