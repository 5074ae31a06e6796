// Every route that shows or writes a timeline's pictures, each called through the product's own
// entry point on timelines generated from a handful of seeds: the paused monitor (the engine's
// still) and the player's composition, the export sheet's runner handed the engine's files and LUT
// answers, the 10-bit workspace's export and preview of the handed-over job (its
// JobMediaResolution), the fast path, the single-video export, the LUT pickers (the Source Viewer's
// through its controller) and status words, and trims' limits. They must name the same file and
// source frame for every output frame (black ones too), each labelled with the files its own route
// reads, the same LUT for every clip, and refuse or accept the same jobs naming the same files and
// LUTs. A failure names its seed and case and how to draw that case alone again.

#include <algorithm>
#include <atomic>
#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "RouteChecks.h"

namespace velmora::test::routes {

void onThreadsAtOnce(std::size_t workers, const std::function<void(std::size_t)>& each)
{
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
        threads.emplace_back([&each, w] {
            try {
                each(w);
            } catch (const std::exception& error) {
                ADD_FAILURE() << "thread " << w << ": " << error.what();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

namespace {

// The checks that compare routes in any case, each of which must compare something in at least
// half of the cases a run draws.
constexpr const char* kEveryCaseChecks[] = {
    "files",          "trims",       "clip LUTs",              "project LUT and status", "Source Viewer",
    "sheet refusal",  "10-bit refusal", "job preview",         "monitor | sheet's plan", "player | sheet's plan",
    "10-bit plan | monitor", "playhead end"};

} // namespace

void Reach::expectEveryCheck() const
{
    std::ostringstream table;
    table << "Checks run, in cases of " << cases << ":";
    for (const auto& [check, count] : ran)
        table << "\n  " << check << ": " << count;
    table << "\n  (fast-path candidates: " << fastPathCandidates << ", exported " << exported << ", refused "
          << refused << ", frames past a file's end " << pastEnds << ")";
    std::cout << table.str() << std::endl;
    if (cases < 20)
        return;
    for (const char* check : kEveryCaseChecks) {
        EXPECT_GE(2 * count(check), cases) << "the check \"" << check << "\" ran in " << count(check) << " of "
                                           << cases << " cases";
    }
    if (!drawsFixedCases())
        return;
    EXPECT_GT(exported, cases / 5);
    EXPECT_GT(refused, cases / 10);
    EXPECT_GT(count("fast path"), 5);
    EXPECT_GT(count("single-video export"), 5);
    EXPECT_GT(pastEnds, 20) << "frames past a file's end";
    for (const char* ingredient : {"outward drag", "LUT rewritten", "engine's still after a rewrite", "ramp"})
        EXPECT_GT(count(ingredient), 3) << ingredient;
}

namespace {

void checkGeneratedCase(const Library& library, std::uint32_t seed, int index, Reach& reach)
{
    std::mt19937 rng(seed + static_cast<std::uint32_t>(index));
    EngineHarness harness;
    Case c;
    c.folder = harness.media.path();
    generate(c, library, rng);
    const std::string summary = c.summary.str();
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " case " << index << " (" << repeatWith(seed, index)
                                      << "): " << summary);
    Generated g{library, harness, c, adopt(harness, c)};
    editInSourceViewer(harness, c, g.player);
    if (::testing::Test::HasFatalFailure())
        return;
    dragOutward(g, reach);
    if (::testing::Test::HasFatalFailure())
        return;
    g.shown = g.engine().resolvedMedia();
    if (g.shown)
        g.files = g.shown->files;
    checkFiles(g, reach);
    checkTrims(g, reach);
    checkLuts(g, reach);
    checkLutRewrite(g, reach);
    if (::testing::Test::HasFatalFailure())
        return;
    if (g.shown)
        changeFolderAfterwards(c, library, *g.shown, rng);
    SCOPED_TRACE("and then:" + c.summary.str().substr(summary.size()));
    checkExports(g, reach);
}

TEST_F(RouteAgreement, GeneratedTimelinesShowAndWriteTheSameFramesLutsAndRefusals)
{
    // Every case of every seed, drawn by as many threads as the machine has cores, each taking
    // the next case not yet drawn: a case's draws depend on its seed and index alone.
    const std::vector<std::uint32_t> seeds = routeSeeds();
    const std::size_t cases = seeds.size() * static_cast<std::size_t>(casesPerSeed());
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<Reach> reaches(workers);
    std::atomic<std::size_t> next{0};
    onThreadsAtOnce(workers, [&](std::size_t w) {
        for (std::size_t k = next++; k < cases && !HasFatalFailure(); k = next++) {
            const auto index = static_cast<int>(k % static_cast<std::size_t>(casesPerSeed()));
            checkGeneratedCase(*library_, seeds[k / static_cast<std::size_t>(casesPerSeed())], index, reaches[w]);
            reaches[w].endCase();
        }
    });
    Reach reach;
    for (const Reach& each : reaches)
        reach.add(each);
    reach.expectEveryCheck();
}

} // namespace
} // namespace velmora::test::routes
