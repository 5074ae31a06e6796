// The LUTs of one generated case: each clip's and the project's answer on every route that shows
// one (the monitor's grader, the pickers, the Source Viewer, the status words), and the same
// after a LUT file is rewritten, the program view's still included.

#include <memory>

#include "RouteChecks.h"
#include "export/TimelineExportSetup.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "inspectors/ProjectSettingsController.h"
#include "preview/GradedPreviewController.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

// ---- LUTs ----

namespace {

// A LUT every route shows grading is one the export's renderer reads.
void expectRenderable(const LutResolution& lut, const std::string& whose)
{
    if (!lut.grades())
        return;
    try {
        Exporter::makeCachedCube(LutResolving::withText(lut).text);
    } catch (const Error& error) {
        ADD_FAILURE() << whose << "'s LUT " << lut.name << " grades on every route but the export cannot read it: "
                      << error.fullDescription();
    }
}

// The Source Viewer opened on the clip shows, grades its still with and hands back the engine's
// answer; one that cannot find the clip's file shows no LUT at all.
void checkSourceViewer(Generated& g, const EditSession::Clip& clip, const LutResolution& lut, Reach& reach)
{
    const SourceViewerAnswer viewer = askSourceViewer(g.harness, g.c, clip);
    if (viewer.loadError)
        return;
    reach.mark("Source Viewer");
    const std::string expected = lut.kind == LutResolution::Kind::none ? "None" : lut.name;
    EXPECT_EQ(viewer.picker, expected) << "Source Viewer's LUT picker, clip " << clip.id;
    EXPECT_EQ(viewer.title, LutResolving::pickerValue(lut).title()) << "Source Viewer's LUT title, clip " << clip.id;
    EXPECT_EQ(viewer.stillLutText.value_or("(none)"), lut.grades() ? LutResolving::withText(lut).text : "(none)")
        << "the Source Viewer's graded still | the engine's answer, clip " << clip.id;
    EXPECT_EQ(viewer.handedBack, expected) << "Source Viewer's Update Timeline, clip " << clip.id;
}

// Each picture clip's answer: the monitor's grader, the status words, the Clip LUT picker, the
// grade inspector's and the Source Viewer's against it; a LUT read from a file is the file of
// exactly its name.
void checkClipLuts(Generated& g, Reach& reach)
{
    for (const EditSession::Clip& clip : g.clips()) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (kind != "video" && kind != "image")
            continue;
        const auto answer = g.luts.clips.find(clip.id);
        ASSERT_TRUE(answer != g.luts.clips.end()) << "no LUT answer for " << clip.id;
        reach.mark("clip LUTs");
        const LutResolution& lut = answer->second;
        if (!lut.file.empty() && lut.name.ends_with(".cube")) {
            EXPECT_EQ(lut.file.filename().string(), fs::path(lut.name).filename().string()) << "clip " << clip.id;
        }
        expectRenderable(lut, "clip " + clip.id);
        const std::string expected = lut.kind == LutResolution::Kind::none ? "None" : lut.name;
        TimelinePreviewEngine& engine = g.engine();
        const LutResolution monitor =
            PreviewFrameGrader::clipLut(clip.grade, engine.previewMediaFolder(), engine.lutSessionFileURL());
        EXPECT_EQ(monitor.grades() ? monitor.text : "(none)", lut.grades() ? LutResolving::withText(lut).text : "(none)")
            << "the monitor's grader | the engine's answer, clip " << clip.id;
        EXPECT_EQ(engine.missingLutOfClip(clip.id).value_or("(none)"), lut.fails() ? lut.name : "(none)")
            << "status, clip " << clip.id;
        engine.selectClip(clip.id, false);
        EXPECT_EQ(engine.selectedClipLutPickerValue(), expected) << "Clip LUT picker, clip " << clip.id;
        EXPECT_EQ(ClipGradeEditState::from(clip).lutReference, expected)
            << "grade inspector's LUT picker, clip " << clip.id;
        checkSourceViewer(g, clip, lut, reach);
        if (lut.fails())
            g.failing.insert(lut.name);
    }
}

} // namespace

void checkLuts(Generated& g, Reach& reach)
{
    TimelinePreviewEngine& engine = g.engine();
    g.failing.clear();
    if (std::optional<ResolvedLuts> luts = engine.resolvedLuts(g.c.folder, engine.lutSessionFileURL())) {
        g.luts = std::move(*luts);
    } else {
        ADD_FAILURE() << "the engine has not decided every LUT (its answers go with every export)";
        // The export's own answers, to hold the other routes to.
        const EditorJobV2 job = EditorJobV2::fromJSON(g.session().renderJobText(&g.files));
        g.luts = Exporter::timelineLuts(job, Exporter::exportTimeline(job), g.c.folder, engine.lutSessionFileURL());
    }
    ASSERT_TRUE(g.luts.job);
    reach.mark("project LUT and status");
    const LutResolution& project = *g.luts.job;
    expectRenderable(project, "the project");
    if (project.fails())
        g.failing.insert(project.name);
    checkClipLuts(g, reach);
    {
        ProjectSettingsController settings(engine, engine.availableLutNames(), {}, {});
        settings.fillIn();
        EXPECT_EQ(settings.lutSelection(), project.kind == LutResolution::Kind::none ? "None" : project.name)
            << "Project Settings' LUT picker";
    }
    EXPECT_EQ(engine.projectLutCube(), project.grades() ? LutResolving::withText(project).text : "")
        << "the monitor's project LUT";
    EXPECT_EQ(engine.missingLutText().has_value(), !g.failing.empty())
        << "status: " << engine.missingLutText().value_or("(nothing)");
    for (const std::string& name : g.failing) {
        EXPECT_TRUE(engine.missingLutText() && engine.missingLutText()->find(name) != std::string::npos)
            << name << " on the status line: " << engine.missingLutText().value_or("(nothing)");
    }
}

// ---- a LUT file rewritten between asks ----

namespace {

// Where the paused monitor shows a frame of the rewritten LUT's clip from its file (the first on
// top), if anywhere.
std::optional<double> shownAt(const Generated& g, const std::string& clipId)
{
    const FrameGrid grid = g.engine().frameGrid();
    const std::int64_t total =
        TimelineFrameMap::firstFrameAtOrAfter(grid, TimelinePreviewEngine::timelineLength(g.session()));
    for (std::int64_t n = 0; n < total; ++n) {
        const std::optional<EditSession::Clip> clip = g.engine().clipForPausedGrade(grid.start(n));
        if (const Picture shown = monitorPicture(g.engine(), grid.start(n));
            clip && clip->id == clipId && shown.file && !shown.pastEnd)
            return grid.start(n);
    }
    return std::nullopt;
}

} // namespace

void checkLutRewrite(Generated& g, Reach& reach)
{
    if (!g.c.lutRewrite)
        return;
    reach.mark("LUT rewritten");
    const fs::path file = g.c.folder / kRewrittenLut;
    const std::optional<double> at = g.c.lutRewrite->clipId ? shownAt(g, *g.c.lutRewrite->clipId) : std::nullopt;
    const auto handBacks = std::make_shared<HandBacks>(g.harness.queue);
    GradedPreviewController controller(&g.engine(), handBacks, false);
    // The program view's still where the playhead stands, and, after the file changed, again once
    // the playhead has been elsewhere and come back.
    const auto compareStill = [&](const char* when, bool visitElsewhere) {
        if (!at)
            return;
        reach.mark("engine's still after a rewrite");
        const Shown fresh = monitorStill(g.engine(), *at);
        for (const bool visited : {false, true}) {
            if (visited && !visitElsewhere)
                break;
            if (visited) {
                g.engine().seek(*at + 0.5, true, {});
                g.harness.queue->runUntilIdle();
            }
            const std::optional<Shown> program = programStill(g.harness, *handBacks, controller, *at);
            ASSERT_TRUE(program) << "the program view shows no still of " << *g.c.lutRewrite->clipId << " " << when;
            EXPECT_TRUE(sameFrame(*program, fresh))
                << "the program view's still of " << *g.c.lutRewrite->clipId << " at " << *at << " s " << when
                << (visited ? ", after a visit elsewhere" : "") << " | the still graded through the LUT's answer now";
        }
    };
    compareStill("before the file was rewritten", false);
    bool usable = g.c.lutRewrite->startsUsable;
    for (const char* step : {"once the file was rewritten", "once the file was rewritten back"}) {
        usable = !usable;
        SCOPED_TRACE(::testing::Message() << kRewrittenLut << (usable ? " made good " : " cut short ") << step);
        writeTextFile(file, readTextFile(g.library.file(usable ? kSqueezingLut : "trunc.cube")));
        g.engine().refreshLutNames();
        g.harness.queue->runUntilIdle();
        checkLuts(g, reach);
        checkSheet(g, reach);
        compareStill(step, true);
    }
}

} // namespace velmora::test::routes
