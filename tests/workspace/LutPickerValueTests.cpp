#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "inspectors/GradeInspectorWindowRoot.h"
#include "inspectors/ProjectSettingsController.h"
#include "inspectors/SourceViewerController.h"
#include "support/CubeTexts.h"
#include "workspace/shell/GradeInspectorWindowArguments.h"

// Every LUT picker (the Clip LUT picker, the grade inspector's, the Source Viewer's and Project
// Settings') shows what its LUT resolves to, as the status line and the export name it.

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

struct Pickers {
    Pickers()
    {
        WorkspaceHarness::Options built;
        built.fakePlayer = true;
        h = std::make_unique<WorkspaceHarness>(built);
        QObject::connect(&h->workspace(), &EditorWorkspaceController::gradeInspectorRequested,
                         [this](const GradeInspectorWindowArguments& arguments) { opened = arguments; });
    }

    // The generated project with the grade on its first clip, the project LUT `projectLut` and the
    // files `luts` (path in the media folder, text), opened and its LUTs looked up.
    void open(const std::optional<EditorJobV2::ClipGrade>& grade, const std::optional<std::string>& projectLut,
              const std::map<std::string, std::string>& luts = {})
    {
        project = test::writeProject(h->folders.scratch() / "trip");
        for (const auto& [name, text] : luts) {
            fs::create_directories((project.media / name).parent_path());
            test::writeTextFile(project.media / name, text);
        }
        EditSession saved = EditSession::load(project.file);
        saved.timelines[0].clips.at(0).grade = grade;
        saved.grade = EditSession::ProjectGrade{projectLut};
        saved.saveProject(project.file, project.media.string());
        h->open(project);
        h->runBackgroundWork();
    }

    // The title the grade inspector's picker shows for the clip, or for the entry `entry`.
    std::string inspector(const std::string& clipId, const std::optional<std::string>& entry = std::nullopt)
    {
        h->engine().setSelectedClipId(clipId);
        h->workspace().openGradeInspector(clipId);
        EXPECT_TRUE(opened);
        auto root = std::make_unique<GradeInspectorWindowRoot>(h->engine(), opened->initialEditState, clipId,
                                                               opened->clipName, opened->lutNames, [] {}, [] {});
        const auto* picker = root->findChild<VelmoraDarkPopUpPicker*>(QStringLiteral("lutPicker"));
        const int row = VelmoraDarkPopUpPicker::rowForSelection(picker->selectableTags(),
                                                                entry ? *entry : picker->selection());
        h->workspace().closeGradeInspector();
        return row < 0 ? "(no row)" : picker->items().at(static_cast<std::size_t>(row)).title;
    }

    // The Source Viewer's shown value (its title) for a timeline clip, and the controller.
    std::unique_ptr<SourceViewerController> sourceViewer(const std::string& clipId)
    {
        const std::optional<EditSession::Clip> clip = h->session().clip(clipId);
        EXPECT_TRUE(clip && clip->sourceId);
        EditSession::Source source;
        for (const EditSession::Source& candidate : h->session().sources)
            if (clip && candidate.id == clip->sourceId)
                source = candidate;
        auto viewer = std::make_unique<SourceViewerController>(h->engine(), source, project.media, project.file, clipId,
                                                               std::nullopt, std::nullopt,
                                                               SourceViewerController::Callbacks{});
        viewer->load();
        return viewer;
    }

    std::string clipLutPicker(const std::string& clipId)
    {
        h->engine().selectClip(clipId, false);
        return h->workspace().lutPickerTitle(h->workspace().lutPickerShownValue());
    }

    std::unique_ptr<WorkspaceHarness> h;
    test::GeneratedProject project;
    std::optional<GradeInspectorWindowArguments> opened;
};

// A reference that only looks like a listed file ("lookA" beside "luts/LookA.cube") is shown as
// written and marked missing by every picker, as the status line names it.
TEST(LutPickerValue, AReferenceIsShownAsWrittenNeverAsAFileThatLooksLikeIt)
{
    Pickers p;
    p.open(EditSession::clipGrade("lookA"), std::nullopt, {{"luts/LookA.cube", test::identityCubeText()}});
    EXPECT_EQ(p.h->engine().missingLutText(), "LUT lookA not found");
    EXPECT_EQ(p.clipLutPicker("v1"), "lookA (missing)");
    const std::vector<std::string> options = p.h->workspace().lutPickerOptions();
    EXPECT_NE(std::find(options.begin(), options.end(), "lookA"), options.end());
    EXPECT_EQ(p.h->workspace().lutPickerTitle("LookA.cube"), "LookA.cube");
    EXPECT_EQ(p.inspector("v1"), "lookA (missing)");
    const auto viewer = p.sourceViewer("v1");
    EXPECT_EQ(viewer->sourceLutReference(), "lookA");
    EXPECT_EQ(viewer->lutTitle("lookA"), "lookA (missing)");
}

// Inline .cube text beside a file name grades the clip: every picker says "(Embedded LUT)", and
// the Source Viewer's still is graded with that text.
TEST(LutPickerValue, InlineTextBesideAFileNameIsTheEmbeddedLutEverywhere)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "SwapRB.cube";
    grade.lutData = test::identityCubeText();
    Pickers p;
    p.open(grade, std::nullopt, {{"SwapRB.cube", test::swappingRedBlueCubeText()}});
    EXPECT_EQ(p.clipLutPicker("v1"), "(Embedded LUT)");
    EXPECT_EQ(p.inspector("v1"), "(Embedded LUT)");
    const auto viewer = p.sourceViewer("v1");
    EXPECT_EQ(viewer->sourceLutReference(), "(Embedded LUT)");
    const std::vector<std::string> names = viewer->lutNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "(Embedded LUT)"), names.end());
    const std::optional<EditorJobV2::ClipGrade> still = viewer->clipLutGrade();
    ASSERT_TRUE(still && still->lutData);
    EXPECT_EQ(still->lutData->str(), test::identityCubeText());

    // A clip whose LUT is missing shows it so in the Source Viewer too.
    p.h->engine().setClipLutReference("gone.cube", "v1");
    p.h->runBackgroundWork();
    const auto missing = p.sourceViewer("v1");
    EXPECT_EQ(missing->sourceLutReference(), "gone.cube");
    EXPECT_EQ(missing->lutTitle("gone.cube"), "gone.cube (missing)");
    EXPECT_FALSE(missing->clipLutGrade() && missing->clipLutGrade()->lutData);
}

// A listed LUT that grades nothing is marked in every picker, not only as some clip's own.
TEST(LutPickerValue, AListedLutThatGradesNothingIsMarkedInEveryPicker)
{
    Pickers p;
    p.open(EditSession::clipGrade("look.cube"), std::nullopt,
           {{"look.cube", test::identityCubeText()}, {"trunc.cube", test::truncatedCubeText()}});
    EXPECT_EQ(p.clipLutPicker("v1"), "look.cube");
    EXPECT_EQ(p.h->workspace().lutPickerTitle("trunc.cube"), "trunc.cube (unusable)");
    EXPECT_EQ(p.h->workspace().lutPickerTitle("look.cube"), "look.cube");
    EXPECT_EQ(p.inspector("v1", std::string("trunc.cube")), "trunc.cube (unusable)");
    EXPECT_EQ(p.inspector("v1"), "look.cube");
    const auto viewer = p.sourceViewer("v1");
    EXPECT_EQ(viewer->lutTitle("trunc.cube"), "trunc.cube (unusable)");
    ProjectSettingsController settings(p.h->engine(), p.h->engine().availableLutNames(), {}, {});
    settings.fillIn();
    EXPECT_EQ(settings.lutTitle("trunc.cube"), "trunc.cube (unusable)");
    // Nothing uses it, so the status line does not name it.
    EXPECT_EQ(p.h->engine().status().find("trunc.cube"), std::string::npos) << p.h->engine().status();
}

// Project Settings' picker shows the project's LUT: its inline text as "(Embedded LUT)", kept as
// it is when applied; a file that is not found marked missing, as the status line names it.
TEST(LutPickerValue, ProjectSettingsShowsTheProjectsLut)
{
    Pickers p;
    p.open(std::nullopt, test::identityCubeText());
    ProjectSettingsController settings(p.h->engine(), p.h->engine().availableLutNames(), {}, {});
    settings.fillIn();
    EXPECT_EQ(settings.lutSelection(), "(Embedded LUT)");
    EXPECT_EQ(settings.lutTitle("(Embedded LUT)"), "(Embedded LUT)");
    const std::vector<std::string> options = settings.lutOptions();
    EXPECT_NE(std::find(options.begin(), options.end(), "(Embedded LUT)"), options.end());
    settings.apply();
    ASSERT_TRUE(p.h->session().grade);
    EXPECT_EQ(p.h->session().grade->lutCube, test::identityCubeText());

    Pickers missing;
    missing.open(std::nullopt, std::string("missing_project_look.cube"));
    EXPECT_EQ(missing.h->engine().missingLutText(), "LUT missing_project_look.cube not found");
    EXPECT_TRUE(missing.h->engine().status().starts_with("LUT missing_project_look.cube not found · "))
        << missing.h->engine().status();
    ProjectSettingsController missingSettings(missing.h->engine(), missing.h->engine().availableLutNames(), {}, {});
    missingSettings.fillIn();
    EXPECT_EQ(missingSettings.lutSelection(), "missing_project_look.cube");
    EXPECT_EQ(missingSettings.lutTitle("missing_project_look.cube"), "missing_project_look.cube (missing)");
}

// The project's LUT file is read by the engine's worker, never on the main thread as the project
// opens; the monitor then holds the text the export grades with.
TEST(LutPickerValue, TheProjectLutIsReadOffTheMainThread)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    built.engineWorkInBackground = true;
    WorkspaceHarness h(built);
    const test::GeneratedProject project = test::writeProject(h.folders.scratch() / "trip");
    test::writeTextFile(project.media / "project_look.cube", test::identityCubeText());
    EditSession saved = EditSession::load(project.file);
    saved.grade = EditSession::ProjectGrade{std::string("project_look.cube")};
    saved.saveProject(project.file, project.media.string());
    h.open(project);
    EXPECT_EQ(h.engine().projectLutCube(), "");
    h.runBackgroundWork();
    h.settle();
    EXPECT_EQ(h.engine().projectLutCube(), "");
    h.runBackgroundWork();
    EXPECT_EQ(h.engine().projectLutCube(), test::identityCubeText());
    const std::optional<ResolvedLuts> handed = h.engine().resolvedLuts(project.media, project.file);
    ASSERT_TRUE(handed && handed->job);
    EXPECT_EQ(LutResolving::withText(*handed->job).text, h.engine().projectLutCube());
}

} // namespace
} // namespace velmora
