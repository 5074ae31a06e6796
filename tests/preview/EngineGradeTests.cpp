// Grade and LUT controls, and the grade and fade edits that leave no empty undo step.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string_view>
#include <thread>

#include <QSignalSpy>
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/dispatch/Semaphore.h"
#include "preview/LutNameCatalog.h"
#include "support/CubeTexts.h"

namespace velmora::test {
namespace {

struct GradeFixture {
    GradeFixture()
    {
        writeTextFile(h.media / "look.cube", identityCubeText());
        h.adopt(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 4, 4)}));
    }
    EngineHarness h;
};

TEST(EngineGrade, ClipLutChangesRegradeAndTurnThePreviewOn)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    QSignalSpy regrades(&engine, &TimelinePreviewEngine::gradePreviewRevisionChanged);

    engine.setClipLutReference("look.cube", "A");
    EXPECT_EQ(f.h.session().clipLutReference("A"), "look.cube");
    EXPECT_TRUE(engine.gradePreviewEnabled());
    EXPECT_EQ(engine.status(), "Grade ON — LUT + mood/basic when paused · Play = smooth raw");
    EXPECT_EQ(regrades.count(), 2); // the live apply and the paused regrade
    EXPECT_FALSE(engine.canUndo());

    // The same reference again changes nothing at all.
    const int revision = engine.gradePreviewRevision();
    engine.setClipLutReference("look.cube", "A");
    EXPECT_EQ(engine.gradePreviewRevision(), revision);

    // Blank means no LUT.
    engine.setClipLutReference("   ", "A");
    EXPECT_EQ(f.h.session().clipLutReference("A"), "None");

    engine.setSelectedClipId("A");
    engine.setClipLutReference("look.cube", "A");
    EXPECT_EQ(engine.selectedClipLutPickerValue(), "look.cube");
    EXPECT_EQ(engine.clipLutPickerOptions(std::string("A")).back(), "look.cube");
}

// Readying the preview with the state the clip's own grade reads as (the grade inspector
// opening) leaves the grade exactly as stored: a file name beside the inline text that grades
// it stays, and the session is not republished.
TEST(EngineGrade, WarmingThePreviewWithTheClipsOwnStateChangesNoGrade)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    EditorJobV2::ClipGrade both;
    both.hasLut = true;
    both.lutFile = "look.cube";
    both.lutData = constantCubeText(0.1, 0.2, 0.3);
    f.h.session().timelines[0].clips[0].grade = both;
    QSignalSpy republished(&engine, &TimelinePreviewEngine::sessionChanged);

    engine.warmGradeSliderPreview("A", ClipGradeEditState::from(f.h.session().clip("A")));
    EXPECT_EQ(f.h.session().clip("A")->grade, both);
    EXPECT_EQ(republished.count(), 0);
    EXPECT_TRUE(engine.gradePreviewEnabled());
}

// A LUT the picker lists but the grader passes over is named in the status with why, in front of
// the news, and the clip's picture stays without it; the picker marks it by what is wrong.
TEST(EngineGrade, AChosenLutThatCannotGradeIsNamedWithWhy)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    writeTextFile(f.h.media / "two.cube", twoPointCubeText());
    writeTextFile(f.h.media / "short.cube", "LUT_3D_SIZE 3\n0 0 0\n1 1 1\n");
    writeTextFile(f.h.media / "empty.cube", "");
    engine.refreshLutNames(); // as the picker does when it opens
    const std::vector<std::string> offered = engine.clipLutPickerOptions(std::string("A"));
    EXPECT_NE(std::find(offered.begin(), offered.end(), "two.cube"), offered.end());

    const std::string on = " · Grade ON — LUT + mood/basic when paused · Play = smooth raw";
    engine.setClipLutReference("two.cube", "A");
    f.h.queue->runUntilIdle(); // why is told once the file is read
    EXPECT_EQ(f.h.session().clipLutReference("A"), "two.cube");
    EXPECT_EQ(engine.status(), "LUT two.cube cannot be used: LUT_3D_SIZE 2 (needs 3 or more) — picture left without it"
                                   + on);
    EXPECT_FALSE(PreviewFrameGrader::clipLut(f.h.session().clip("A")->grade, f.h.media.path(), std::nullopt).grades());
    EXPECT_EQ(engine.clipLutPickerValue("A").title(), "two.cube (unusable)");

    const std::vector<std::pair<std::string, std::string>> chosen = {
        {"short.cube", "it holds fewer entries than its LUT_3D_SIZE needs"},
        {"banana.cube", "LUT_3D_SIZE banana (needs a whole number)"},
        {"empty.cube", "it is empty"},
        {"gone.cube", "the file cannot be found"},
    };
    writeTextFile(f.h.media / "banana.cube", bananaSizeCubeText());
    for (const auto& [name, why] : chosen) {
        engine.setClipLutReference(name, "A");
        f.h.queue->runUntilIdle();
        EXPECT_EQ(engine.status(), "LUT " + name + " cannot be used: " + why + " — picture left without it" + on);
    }
    EXPECT_EQ(engine.clipLutPickerValue("A").title(), "gone.cube (missing)");

    // Its file copied in and the list refreshed (the picker opening): the words go.
    writeTextFile(f.h.media / "gone.cube", identityCubeText());
    engine.refreshLutNames();
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), on.substr(std::string(" · ").size()));
    EXPECT_EQ(engine.clipLutPickerValue("A").title(), "gone.cube");
}

// Every place that changes a clip's LUT asks the one look-up, and the status line names a LUT
// that grades nothing whichever picker chose it: the Clip LUT picker, the grade inspector's (a
// live change and its end), a grade edit, the Source Viewer's update.
TEST(EngineGrade, EveryPlaceThatChangesAClipsLutNamesOneThatCannotGrade)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    writeTextFile(f.h.media / "trunc.cube", truncatedCubeText());
    ClipGradeEditState truncated;
    truncated.lutReference = "trunc.cube";
    const std::vector<std::pair<std::string, std::function<void()>>> routes = {
        {"Clip LUT picker", [&] { engine.setClipLutReference("trunc.cube", "A"); }},
        {"grade inspector",
         [&] {
             engine.applyClipGradeLive("A", truncated, true);
             engine.finalizeClipGradeLivePreview("A", truncated);
         }},
        {"grade edit", [&] { engine.applyClipGradeEdit("A", truncated, true); }},
        {"source viewer", [&] { engine.updateTimelineClipFromSource("A", 0, 4, std::string("trunc.cube")); }},
    };
    for (const auto& [route, choose] : routes) {
        engine.setClipLutReference("None", "A");
        engine.setGradePreviewEnabled(false);
        f.h.queue->runUntilIdle();
        const std::size_t builds = f.h.builder->buildCount();
        choose();
        // A rebuild asked for looks the clips' LUTs up once its picture is shown.
        if (f.h.builder->buildCount() > builds) {
            f.h.builder->finish(8);
        }
        f.h.queue->runUntilIdle(); // why is told once the file is read
        ASSERT_EQ(f.h.session().clipLutReference("A"), "trunc.cube") << route;
        EXPECT_EQ(engine.clipLutPickerValue("A").title(), "trunc.cube (unusable)") << route;
        EXPECT_TRUE(engine.status().starts_with("LUT trunc.cube cannot be used: it holds fewer entries than its "
                                                "LUT_3D_SIZE needs \u2014 picture left without it \u00B7 "))
            << route << ": " << engine.status();
        // Other news written since: the standing warning still names it.
        engine.addMarkerAtPlayhead();
        EXPECT_NE(engine.status().find("trunc.cube"), std::string::npos) << route << ": " << engine.status();
    }
}

// The status line says a LUT cannot be used exactly when what grades the clip passes over it,
// and stops saying so once the clip holds another LUT.
TEST(EngineGrade, TheLutWordsFollowWhatGradesTheClip)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    writeTextFile(f.h.media / "two.cube", twoPointCubeText());
    engine.setGradePreviewEnabled(true);
    const std::string on = engine.status();

    // Inline text that grades the clip, chosen by its picker label.
    EditorJobV2::ClipGrade inlineGrade;
    inlineGrade.lutData = identityCubeText();
    f.h.session().timelines[0].clips[0].grade = inlineGrade;
    engine.setClipLutReference("(Embedded LUT)", "A");
    EXPECT_EQ(engine.status(), on);
    EXPECT_TRUE(PreviewFrameGrader::clipLut(f.h.session().clip("A")->grade, f.h.media.path(), std::nullopt).grades());

    engine.setClipLutReference("two.cube", "A");
    f.h.queue->runUntilIdle();
    EXPECT_TRUE(engine.status().starts_with("LUT two.cube cannot be used: ")) << engine.status();
    engine.setClipLutReference("look.cube", "A");
    EXPECT_EQ(engine.status(), on);

    // The grade inspector's Reset takes the unusable LUT away.
    engine.setClipLutReference("two.cube", "B");
    ClipGradeEditState reset = ClipGradeEditState::from(f.h.session().clip("B"));
    reset.reset();
    engine.finalizeClipGradeLivePreview("B", reset);
    EXPECT_EQ(engine.status(), "Clip grade cleared");

    // A clip id no clip has: nothing is written, no clip changes, nothing is regraded.
    f.h.statuses.clear();
    const std::vector<EditSession::Clip> clips = f.h.session().timelines[0].clips;
    const auto revision = engine.gradePreviewRevision();
    engine.setClipLutReference("gone.cube", "missing");
    EXPECT_TRUE(f.h.statuses.empty());
    EXPECT_TRUE(f.h.session().timelines[0].clips == clips);
    EXPECT_EQ(engine.gradePreviewRevision(), revision);
}

// The LUT names on offer are listed on the worker when a project is taken and kept: a selection
// reads them without looking at the disk; a picker opening lists them again.
TEST(EngineGrade, LutNamesAreListedInTheBackgroundAndKept)
{
    auto queue = std::make_shared<ManualMainQueue>();
    std::vector<std::function<void()>> listings;
    TimelinePreviewEngine engine(TimelinePreviewEngine::Services{
        queue, std::make_shared<ManualClock>(0.0), nullptr, {}, {},
        [&listings](std::function<void()> work) { listings.push_back(std::move(work)); }});
    QSignalSpy listed(&engine, &TimelinePreviewEngine::lutNamesChanged);
    // The listing, and the look-up of the names it lists, which the same worker runs.
    const auto runListing = [&] {
        ASSERT_FALSE(listings.empty());
        while (!listings.empty()) {
            std::function<void()> work = std::move(listings.front());
            listings.erase(listings.begin());
            std::thread(work).join();
            queue->runUntilIdle();
        }
    };
    TempDir media;
    writeTextFile(media / "look.cube", identityCubeText());
    engine.adoptSession(sessionWith({clip("A", "video", 0, 4)}), media.path(), std::nullopt, false);
    EXPECT_EQ(engine.availableLutNames(), std::vector<std::string>{"None"});
    runListing();
    EXPECT_EQ(engine.availableLutNames(), (std::vector<std::string>{"None", "look.cube"}));
    EXPECT_EQ(listed.count(), 1);

    writeTextFile(media / "later.cube", identityCubeText());
    engine.selectClip("A", false);
    EXPECT_EQ(engine.clipLutPickerOptions(std::string("A")), (std::vector<std::string>{"None", "look.cube"}));
    EXPECT_EQ(engine.selectedClipLutPickerValue(), "None");
    EXPECT_TRUE(listings.empty());
    engine.refreshLutNames();
    runListing();
    EXPECT_EQ(engine.availableLutNames(), (std::vector<std::string>{"None", "later.cube", "look.cube"}));
}

// A listing under way is told to stop when a newer one is asked for and when the catalog goes
// (the window closing): a quit never waits for thousands of files to be listed to the end.
TEST(LutNameCatalog, ANewerListingOrItsGoingStopsTheListingUnderWay)
{
    auto queue = std::make_shared<ManualMainQueue>();
    std::vector<std::thread> listings;
    Semaphore started;
    std::atomic<int> sawStop{0};
    // A listing that ends only when told to stop; the bound only keeps a failing run finite.
    const auto endless = [&](const auto&, const auto&, std::stop_token stop) {
        started.signal();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        sawStop += stop.stop_requested() ? 1 : 0;
        return std::vector<std::string>{"None", "partial.cube"};
    };
    int kept = 0;
    {
        LutNameCatalog catalog(
            queue, [&](std::function<void()> work) { listings.emplace_back(std::move(work)); }, [&] { ++kept; },
            endless);
        catalog.refresh(std::nullopt, std::nullopt);
        started.wait();
        catalog.refresh(std::nullopt, std::nullopt);
        started.wait();
        listings.front().join();
        EXPECT_EQ(sawStop.load(), 1);
    }
    listings.back().join();
    EXPECT_EQ(sawStop.load(), 2);
    queue->runUntilIdle();
    EXPECT_EQ(kept, 0);
}

// The project's LUT is the job LUT of every export of the session: looked up with the clips' LUTs
// (never on the way in), named on the status line and marked in the picker when it grades nothing.
TEST(EngineGrade, ProjectLutReferenceIsStoredAndResolved)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    engine.setProjectLutReference("look.cube");
    EXPECT_EQ(f.h.session().grade->lutCube, "look.cube");
    EXPECT_EQ(engine.projectLutReference(), "look.cube");
    EXPECT_EQ(engine.projectLutPickerValue(), (LutPickerValue{"look.cube", false}));
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.projectLutCube(), identityCubeText());
    EXPECT_EQ(engine.projectLutAnswer().text, identityCubeText());
    EXPECT_EQ(engine.missingLutText(), std::nullopt);

    engine.setProjectLutReference("missing_project_look.cube");
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.projectLutCube(), "");
    EXPECT_EQ(engine.missingLutText(), "LUT missing_project_look.cube not found");
    EXPECT_EQ(engine.projectLutPickerValue().title(), "missing_project_look.cube (missing)");
    const std::optional<ResolvedLuts> handed = engine.resolvedLuts(f.h.media.path(), std::nullopt);
    ASSERT_TRUE(handed && handed->job);
    EXPECT_EQ(handed->job->kind, LutResolution::Kind::missing);
    EXPECT_EQ(handed->job->name, "missing_project_look.cube");

    // Inline text is answered at once, trimmed.
    engine.setProjectLutReference(identityCubeText());
    EXPECT_EQ(engine.projectLutCube() + "\n", identityCubeText());
    EXPECT_EQ(engine.projectLutPickerValue(), (LutPickerValue{"(Embedded LUT)", false}));

    engine.setProjectLutReference("None");
    EXPECT_EQ(engine.projectLutReference(), "None");
    EXPECT_EQ(engine.projectLutCube(), "");

    engine.setProjectLutReference("");
    EXPECT_FALSE(f.h.session().grade->lutCube.has_value());
    EXPECT_EQ(engine.projectLutReference(), "");
}

// The words that the project's LUT or a clip's grades nothing are said again whenever that answer
// changes: another project LUT, "None", a file copied in and the list refreshed, and the words
// said at the clip give way to the line they replaced.
TEST(EngineGrade, TheStatusLinesLutWordsFollowTheCurrentAnswer)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    const std::string ready = engine.status();
    writeTextFile(f.h.media / "bad.cube", twoPointCubeText());
    engine.setProjectLutReference("bad.cube");
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), "LUT bad.cube is not usable · " + ready);
    engine.setProjectLutReference("look.cube");
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), ready);
    engine.setProjectLutReference("bad.cube");
    f.h.queue->runUntilIdle();
    engine.setProjectLutReference("None");
    EXPECT_EQ(engine.status(), ready);

    f.h.session().timelines[0].clips[1].grade = EditSession::clipGrade("later.cube");
    engine.refreshLutNames();
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), "LUT later.cube not found · " + ready);
    engine.seek(5, true, {});
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), "LUT later.cube not found — the clip is shown without it · " + ready);
    std::filesystem::create_directories(f.h.media / "luts");
    writeTextFile(f.h.media / "luts" / "later.cube", identityCubeText());
    engine.refreshLutNames();
    f.h.queue->runUntilIdle();
    EXPECT_EQ(engine.status(), ready);
}

// ---- the status line drawn from state ----

// One step of the user's or of the preview's, named for the trace.
struct StatusStep {
    std::string what;
    std::function<void(EngineHarness&)> act;
};

StatusStep rebuild()
{
    return {"a build starts", [](EngineHarness& h) { h.engine.rebuildComposition(true, std::nullopt, false); }};
}

StatusStep finish()
{
    return {"the build is installed", [](EngineHarness& h) {
                h.builder->finish(8);
                h.queue->runUntilIdle();
            }};
}

StatusStep choose(const std::string& lut, const std::string& clip)
{
    return {clip + "'s LUT " + lut + " chosen", [=](EngineHarness& h) {
                h.engine.setClipLutReference(lut, clip);
                h.queue->runUntilIdle();
            }};
}

StatusStep projectLut(const std::string& lut)
{
    return {"the project's LUT " + lut, [=](EngineHarness& h) {
                h.engine.setProjectLutReference(lut);
                h.queue->runUntilIdle();
            }};
}

StatusStep placeFile(const std::string& name, const std::string& text)
{
    return {name + " written, the list refreshed", [=](EngineHarness& h) {
                writeTextFile(h.media / name, text);
                h.engine.refreshLutNames();
                h.queue->runUntilIdle();
            }};
}

StatusStep writeEmpty()
{
    return {"proj.cube written empty", [](EngineHarness& h) { writeTextFile(h.media / "proj.cube", ""); }};
}

StatusStep click(const std::string& clip)
{
    return {clip + " clicked", [=](EngineHarness& h) {
                h.engine.selectClip(clip, true);
                h.queue->runUntilIdle();
            }};
}

StatusStep act(const std::string& what, std::function<void(TimelinePreviewEngine&)> action)
{
    return {what, [=](EngineHarness& h) {
                action(h.engine);
                h.queue->runUntilIdle();
            }};
}

// How often each of `names` is said in `line`: as a word of its own, after a blank.
std::map<std::string, int> timesNamed(const std::string& line, const std::vector<std::string>& names)
{
    std::map<std::string, int> times;
    for (const std::string& name : names) {
        for (std::size_t at = line.find(" " + name); at != std::string::npos; at = line.find(" " + name, at + 1)) {
            const std::size_t end = at + 1 + name.size();
            if (end == line.size() || std::string_view(" ,").find(line[end]) != std::string_view::npos)
                ++times[name];
        }
    }
    return times;
}

// The status line is drawn from state, whatever the order of the user's actions before, during
// and after a build: a LUT warning goes when its answer changes, each LUT is named once, a build's
// announcement never stands beside its outcome, ticking Grade keeps the LUT warning, and a build's
// end keeps the news the user has not read.
TEST(EngineGrade, TheStatusLineIsDrawnFromStateWhateverTheOrder)
{
    const std::string ready = "Ready — 8.00s · Grade OFF (smooth play)";
    const std::string on = "Grade ON — LUT + mood/basic when paused · Play = smooth raw";
    const std::string fewer = "it holds fewer entries than its LUT_3D_SIZE needs";
    struct Case {
        std::string name;
        // Each clip's LUT as the project is opened, and the project's: A (0–4 s), B (4–8 s).
        std::string lutA, lutB, project;
        std::vector<StatusStep> steps;
        std::string line;
    };
    const std::vector<Case> cases = {
        // The clip whose LUT is missing is clicked before, during or after a build; the file is
        // placed and the list refreshed: the words go.
        {"clicked before", "project_look.cube", "", "",
         {click("A"), rebuild(), finish(), placeFile("project_look.cube", identityCubeText())}, ready},
        {"clicked during", "project_look.cube", "", "",
         {rebuild(), click("A"), finish(), placeFile("project_look.cube", identityCubeText())}, ready},
        {"clicked after", "project_look.cube", "", "",
         {rebuild(), finish(), click("A"), placeFile("project_look.cube", identityCubeText())}, ready},
        {"the paused clip's missing LUT", "project_look.cube", "", "", {rebuild(), click("A"), finish()},
         "LUT project_look.cube not found — the clip is shown without it · " + ready},
        // A cut-short LUT chosen, said once with why; then a good one chosen: the words go.
        {"trunc chosen during a build", "", "", "", {rebuild(), choose("trunc.cube", "A"), finish()},
         "LUT trunc.cube cannot be used: " + fewer + " — picture left without it · " + on
             + " · Ready — 8.00s · Grade ON · LUT file missing"},
        {"trunc, then good, chosen during a build", "", "", "",
         {rebuild(), choose("trunc.cube", "A"), finish(), choose("good.cube", "A")},
         on + " · Ready — 8.00s · Grade ON · pause for LUT"},
        {"trunc, then good, chosen before a build", "", "", "",
         {choose("trunc.cube", "A"), choose("good.cube", "A"), rebuild(), finish()},
         on + " · Ready — 8.00s · Grade ON · pause for LUT"},
        // The project's and a clip's LUT an empty proj.cube; then the project's "None" and the
        // clip's look.cube; then proj.cube good again: nothing is left to say of proj.cube.
        {"an empty LUT on both", "", "", "", {writeEmpty(), projectLut("proj.cube"), choose("proj.cube", "A")},
         "LUT proj.cube cannot be used: it is empty — picture left without it · " + on},
        {"an empty LUT on both, then others", "", "", "",
         {writeEmpty(), projectLut("proj.cube"), choose("proj.cube", "A"), projectLut("None"), choose("look.cube", "A"),
          placeFile("proj.cube", identityCubeText())},
         on},
        {"an empty LUT on both, then others, during a build", "", "", "",
         {writeEmpty(), rebuild(), projectLut("proj.cube"), choose("proj.cube", "A"), finish(), projectLut("None"),
          choose("look.cube", "A"), placeFile("proj.cube", identityCubeText())},
         on + " · Ready — 8.00s · Grade ON · pause for LUT"},
        // A LUT said in words of its own is left out of the list; news written since ends them.
        {"the list and the paused clip's words", "lookA", "gone.cube", "", {click("A")},
         "LUT gone.cube not found · LUT lookA not found — the clip is shown without it · " + ready},
        {"the list after Update Timeline", "lookA", "gone.cube", "",
         {click("A"), act("Update Timeline", [](TimelinePreviewEngine& e) {
              e.updateTimelineClipFromSource("A", 0, 4, std::nullopt);
          }), finish()},
         "LUTs not found: lookA, gone.cube · Updated timeline from source viewer · " + ready},
        // A LUT chosen over the one the paused clip misses, Grade on, during a build: the outcome
        // replaces the announcement.
        {"a LUT chosen over the paused clip's missing one during a build", "Old.cube", "", "",
         {act("Grade ticked", [](TimelinePreviewEngine& e) { e.setGradePreviewEnabled(true); }), rebuild(), click("A"),
          choose("good.cube", "A"), finish()},
         on + " · Ready — 8.00s · Grade ON · pause for LUT"},
        // A LUT answer landing during a build: the outcome replaces the announcement.
        {"a LUT answer during a build", "", "", "", {rebuild(), projectLut("gone.cube"), finish()},
         "LUT gone.cube not found · " + ready},
        // Ticking Grade keeps the warning, and the next build says the LUT does not apply.
        {"Grade ticked over a cut-short project LUT", "", "", "trunc.cube",
         {act("Grade ticked", [](TimelinePreviewEngine& e) { e.setGradePreviewEnabled(true); })},
         "LUT trunc.cube is not usable · " + on},
        {"Grade ticked over a cut-short LUT, then a build", "trunc.cube", "", "",
         {click("A"), act("Grade ticked", [](TimelinePreviewEngine& e) { e.setGradePreviewEnabled(true); }), rebuild(),
          finish()},
         "LUT trunc.cube is not usable · " + on + " · Ready — 8.00s · Grade ON · LUT file missing"},
        // The news survives the end of a build whose paused clip's LUT is missing.
        {"a marker before a build", "Old.cube", "", "",
         {click("A"), act("marker added", [](TimelinePreviewEngine& e) { e.addMarkerAtPlayhead(); }), rebuild(),
          finish()},
         "LUT Old.cube not found · Marker added · " + ready},
        {"a marker during a build", "Old.cube", "", "",
         {click("A"), rebuild(), act("marker added", [](TimelinePreviewEngine& e) { e.addMarkerAtPlayhead(); }),
          finish()},
         "LUT Old.cube not found · Marker added · " + ready},
        {"a marker after a build", "Old.cube", "", "",
         {click("A"), rebuild(), finish(), act("marker added", [](TimelinePreviewEngine& e) { e.addMarkerAtPlayhead(); })},
         "LUT Old.cube not found · Marker added"},
    };
    const std::vector<std::string> luts = {"project_look.cube", "trunc.cube", "good.cube", "proj.cube",
                                           "look.cube",         "lookA",      "gone.cube", "Old.cube"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h;
        writeTextFile(h.media / "look.cube", identityCubeText());
        writeTextFile(h.media / "good.cube", identityCubeText());
        writeTextFile(h.media / "trunc.cube", truncatedCubeText());
        std::vector<EditSession::Clip> clips = {clip("A", "video", 0, 4), clip("B", "video", 4, 4)};
        for (const auto& [at, lut] : {std::pair{0, c.lutA}, std::pair{1, c.lutB}}) {
            if (!lut.empty())
                clips[at].grade = EditSession::clipGrade(lut);
        }
        auto session = sessionWith(clips);
        if (!c.project.empty())
            session->grade = EditSession::ProjectGrade{c.project};
        h.adopt(session);
        for (const StatusStep& step : c.steps) {
            step.act(h);
            const std::string& line = h.engine.status();
            for (const auto& [name, times] : timesNamed(line, luts))
                EXPECT_EQ(times, 1) << name << " after " << step.what << ": " << line;
            EXPECT_FALSE(line.find("Building timeline…") != std::string::npos && line.find("Ready —") != std::string::npos)
                << "after " << step.what << ": " << line;
        }
        EXPECT_EQ(h.engine.status(), c.line);
    }
}

TEST(EngineGrade, GradeEditsReportWhetherAnyGradeIsLeft)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    ClipGradeEditState warm;
    warm.temperature = 0.4;
    engine.applyClipGradeEdit("A", warm, true);
    EXPECT_EQ(engine.status(), "Grade ON — pause/scrub to preview clip grade");
    EXPECT_TRUE(engine.canUndo());
    EXPECT_NE(engine.gradeContext(), nullptr);

    engine.applyClipGradeEdit("A", ClipGradeEditState{}, true);
    EXPECT_EQ(engine.status(), "Clip grade cleared");
    engine.undo();
    engine.undo();
    EXPECT_FALSE(f.h.session().timelines[0].clips[0].grade.has_value());
}

TEST(EngineGrade, GradeEditsThatChangeNothingLeaveNoUndoStep)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    ClipGradeEditState warm;
    warm.temperature = 0.4;
    engine.applyClipGradeEdit("A", warm, true);
    engine.undo();
    ASSERT_TRUE(engine.canRedo());

    engine.applyClipGradeEdit("missing", warm, true);
    engine.applyClipGradeEdit("A", ClipGradeEditState{}, true); // A has no grade already
    EXPECT_FALSE(engine.canUndo());
    EXPECT_TRUE(engine.canRedo());
}

TEST(EngineGrade, ThePreviewSwitchSpeaksOnlyWhenItFlips)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    f.h.statuses.clear();
    engine.setGradePreviewEnabled(true);
    engine.setGradePreviewEnabled(true);
    EXPECT_EQ(f.h.statuses, std::vector<std::string>{"Grade ON — LUT + mood/basic when paused · Play = smooth raw"});
    engine.setGradePreviewEnabled(false);
    EXPECT_EQ(engine.status(), "Grade OFF — clip LUT still shows when paused · Play = smooth raw");

    // A live change with the switch off turns it on; the next one says nothing.
    ClipGradeEditState state;
    state.exposure = 0.5;
    engine.warmGradeSliderPreview("A", state);
    EXPECT_TRUE(engine.gradePreviewInteractive());
    EXPECT_TRUE(engine.gradePreviewEnabled());
    f.h.statuses.clear();
    engine.finalizeClipGradeLivePreview("A", state);
    EXPECT_FALSE(engine.gradePreviewInteractive());
    EXPECT_TRUE(f.h.statuses.empty());
}

TEST(EngineGrade, FadesShowWhatWasAskedAndKeepNoEmptyUndoStep)
{
    GradeFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    engine.setClipFades("B", 1, 1, false);
    EXPECT_FALSE(engine.canUndo());
    engine.setClipFades("A", 5, 0, true);
    EXPECT_EQ(engine.status(), "Fade in 5.0s · fade out 0.0s");
    EXPECT_EQ(f.h.session().timelines[0].clips[0].fadeIn, 2.0); // half of the 4 s clip
    EXPECT_TRUE(engine.canUndo());
    engine.undo();
    ASSERT_TRUE(engine.canRedo());

    engine.setClipFades("missing", 1, 1, true);
    engine.setClipFades("B", 1, 1, true); // B has these fades already
    EXPECT_FALSE(engine.canUndo());
    EXPECT_TRUE(engine.canRedo());
}

} // namespace
} // namespace velmora::test
