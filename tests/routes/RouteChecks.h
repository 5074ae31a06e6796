#pragma once

// The comparison of the routes on one generated case, check by check (RouteChecks.cpp: files,
// trims, refusals, frames, the fast path and edits; RouteLutChecks.cpp: LUTs), and the suite both
// of its tests run in.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RouteCases.h"
#include "RouteRuns.h"

namespace velmora::test::routes {

// In how many cases each check compared something, and how often the cases reached each route.
struct Reach {
    int cases = 0, exported = 0, refused = 0, pastEnds = 0;
    // The cases in which the fast path found a one-clip job to consider.
    int fastPathCandidates = 0;
    std::map<std::string, int> ran;
    std::set<std::string> ranInCase;

    // `check` compared something in the case being drawn.
    void mark(const std::string& check) { ranInCase.insert(check); }
    void endCase()
    {
        ++cases;
        for (const std::string& check : ranInCase)
            ++ran[check];
        ranInCase.clear();
    }
    void add(const Reach& other)
    {
        cases += other.cases;
        exported += other.exported;
        refused += other.refused;
        pastEnds += other.pastEnds;
        fastPathCandidates += other.fastPathCandidates;
        for (const auto& [check, count] : other.ran)
            ran[check] += count;
    }
    int count(const std::string& check) const
    {
        const auto found = ran.find(check);
        return found == ran.end() ? 0 : found->second;
    }

    // Prints in how many cases each check ran, and holds every check that applies to any case to
    // at least half of the cases of a run of 20 or more. The one-clip routes (the fast path, the
    // single-video export) apply only to a timeline of one plain clip, and the ingredients only
    // where they are drawn: the fixed seeds' cases reach each of them; cases a developer draws by
    // hand (a seed tried, one case drawn again) reach what they reach.
    void expectEveryCheck() const;
};

// One generated case as the window holds it once the engine has adopted it and built its player.
struct Generated {
    Generated(const Library& library, EngineHarness& harness, Case& c, PlayerBuild player)
        : library(library), harness(harness), c(c), player(std::move(player))
    {
    }

    const Library& library;
    EngineHarness& harness;
    Case& c;
    PlayerBuild player;
    std::optional<ResolvedMedia> shown;
    // The files the monitor reads.
    MediaResolver::SourceFileMap files;
    // The engine's LUT answers, and the names of the LUTs among them that grade nothing.
    ResolvedLuts luts;
    std::set<std::string> failing;

    TimelinePreviewEngine& engine() const { return harness.engine; }
    const EditSession& session() const { return *harness.engine.session(); }
    const std::vector<EditSession::Clip>& clips() const { return session().timelines.front().clips; }
};

// The library's files made once for the suite; each test draws its cases from the seeds.
class RouteAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library_ = new Library(); }
    static void TearDownTestSuite()
    {
        delete library_;
        library_ = nullptr;
        forgetOpenedAssets();
    }
    static inline Library* library_ = nullptr;
};

// Runs `each(worker)` on `workers` threads at once and returns once all have: a case is an engine
// with a main queue and a folder of its own, asked on the thread that made it, so that cases
// drawn at once share nothing but the library's files. A failure's trace stays with its thread.
void onThreadsAtOnce(std::size_t workers, const std::function<void(std::size_t)>& each);

// ---- the checks of one case (RouteChecks.cpp) ----

// A source whose own file is in the folder reads it, never another or none; a sound source is
// never given a movie; sources of one name read as many of the files of that name as there are;
// the player reads the engine's files.
void checkFiles(const Generated& g, Reach& reach);
// A clip's tail drawn far out ends where the file its source reads ends; one already past that end
// is drawn in to end there (drawn out, it stays as it is: dragOutward). Its rate is the one rule's.
void checkTrims(const Generated& g, Reach& reach);
// The tail of the first clip already past its file's end dragged further out, as the lanes end a
// drag (the engine's trimEdgeOnTimeline): the clip stays exactly as it was, and the routes are
// asked of it as it is.
void dragOutward(Generated& g, Reach& reach);
// The sheet, through its runner (`run`, else run here): refused naming every source without a
// file and every failing LUT, or accepted.
ExportRun checkSheet(const Generated& g, Reach& reach, std::optional<ExportRun> run = std::nullopt);
// The exports of the case after the folder changed, whether or not they refuse: refusals, the job
// preview, and every frame of every route. Where an export refuses a LUT or a sound file, its
// frames are those of its plan without them (sheetFramePlan, workspaceFramePlan); the fast path,
// the single-video export and the playhead's end are compared where the sheet exports.
void checkExports(Generated& g, Reach& reach);
// Whether the clip a plan shows on output frame n ramps its speed: the editor keeps no ramp, so
// only the job's own routes show what it reads there.
bool rampedAt(const Exporter::TimelineExportPlan& plan, std::int64_t n);

// ---- the LUTs of one case (RouteLutChecks.cpp) ----

// Before the folder changes: the engine's answers, every clip's routes against them, Project
// Settings' picker and the monitor's project LUT, and the status line naming what fails.
void checkLuts(Generated& g, Reach& reach);
// The LUT file's table rewritten (a good one copied over a cut-short one, or the other way), the
// list refreshed, and then back again: after each, every LUT route (the engine's answers, the
// monitor's grader, the pickers, the Source Viewer, the status words, the sheet's refusal) follows
// the file as it is now, and the program view's still of the clip, asked again where it stood
// and after visiting another frame, is graded by the table the file holds now.
void checkLutRewrite(Generated& g, Reach& reach);

} // namespace velmora::test::routes
