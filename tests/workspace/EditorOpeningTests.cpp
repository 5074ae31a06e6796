#include <fstream>
#include <map>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "EditorWorkspaceTestSupport.h"
#include "model/VelmoraProjectFile.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "inspectors/GradeInspectorWindowRoot.h"
#include "workspace/shell/GradeInspectorWindowArguments.h"
#include "platform/media/NullAudioSink.h"
#include "preview/PlatformCompositionBuilder.h"
#include "support/CubeTexts.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

struct Opened {
    std::string status;
    bool relinkAlert = false;
    bool gradePreview = true;
    std::size_t posterRequests = 0;
    // Not saved yet: opened from a file that is not this editor's project document.
    bool unsaved = false;
};

// Opens the file in a fresh workspace through the "Import Web Job JSON…" panel and lets the
// deferred relink check run.
Opened openThroughPanel(const fs::path& file)
{
    WorkspaceHarness h;
    h.engine().setGradePreviewEnabled(true);
    h.workspace().pickWebJobJSON();
    h.panels->choose(file);
    h.queue->runUntilIdle();
    return {h.engine().status(), h.workspace().showRelinkMedia(), h.engine().gradePreviewEnabled(),
            h.background->size(), h.workspace().projectDirty()};
}

void touch(const fs::path& file)
{
    fs::create_directories(file.parent_path());
    test::writeTextFile(file, "x");
}

using Grades = std::map<std::size_t, std::optional<EditorJobV2::ClipGrade>>;

// The generated project with `grades` on its clips (by index: 0 is v1, 2 the still), the project
// LUT `projectLut` when given, and the LUT files `luts` (name, text) in its media folder, opened,
// its files looked up on the worker.
test::GeneratedProject openGraded(WorkspaceHarness& h, const Grades& grades,
                                  const std::map<std::string, std::string>& luts = {},
                                  const std::optional<std::string>& projectLut = std::nullopt)
{
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip");
    for (const auto& [name, text] : luts)
        test::writeTextFile(trip.media / name, text);
    EditSession saved = EditSession::load(trip.file);
    for (const auto& [index, grade] : grades)
        saved.timelines[0].clips.at(index).grade = grade;
    if (projectLut)
        saved.grade = EditSession::ProjectGrade{projectLut};
    saved.saveProject(trip.file, trip.media.string());
    h.open(trip);
    h.runBackgroundWork();
    return trip;
}

EditorJobV2::ClipGrade embeddedIdentity()
{
    EditorJobV2::ClipGrade embedded;
    embedded.hasLut = true;
    embedded.lutData = test::identityCubeText();
    return embedded;
}

TEST(OpeningAProject, TheStatusSaysWhatWasFound)
{
    test::UserFoldersScope folders;
    // A project document whose media is all there: thumbnails are asked for.
    const test::GeneratedProject trip = test::writeProject(folders.scratch() / "trip");
    Opened opened = openThroughPanel(trip.file);
    EXPECT_EQ(opened.status, "Project loaded — media ready");
    EXPECT_FALSE(opened.relinkAlert);
    EXPECT_EQ(opened.posterRequests, 1u);
    EXPECT_FALSE(opened.unsaved);

    // Some files missing, the picture still there: relink, and no posters until relinked.
    fs::remove(trip.media / "Music.wav");
    fs::remove(trip.media / "Still.png");
    opened = openThroughPanel(trip.file);
    EXPECT_EQ(opened.status, "Project loaded — 2 clip(s) need relinking");
    EXPECT_TRUE(opened.relinkAlert);
    EXPECT_EQ(opened.posterRequests, 0u);

    fs::remove(trip.media / "DJI_0001.MP4");
    opened = openThroughPanel(trip.file);
    EXPECT_EQ(opened.status, "Project loaded — relink media folder with your clip files");
    EXPECT_TRUE(opened.relinkAlert);

    // A browser editor's project.
    const fs::path web = folders.scratch() / "web" / "Coast.tavlek";
    touch(web);
    test::writeTextFile(web, R"({"state": {"projectSettings": {"name": "Coast Trip"}},
        "library": [{"id": "m1", "name": "DJI_0042.MP4", "type": "video"}],
        "timelines": [{"id": "tl", "name": "Main", "clips": [{"id": "c1", "type": "video", "name": "DJI_0042.MP4",
                       "track": 1, "startTime": 0, "duration": 2}]}]})");
    opened = openThroughPanel(web);
    EXPECT_EQ(opened.status, "Web project loaded — relink media folder with your original clips");
    EXPECT_TRUE(opened.relinkAlert);
    touch(web.parent_path() / "Coast Trip_media" / "DJI_0042.MP4");
    opened = openThroughPanel(web);
    EXPECT_EQ(opened.status, "Web project loaded — media ready");
    EXPECT_FALSE(opened.relinkAlert);
    EXPECT_TRUE(opened.unsaved);

    // A desktop job from the browser editor: grade preview off, and its own suffix.
    const fs::path job = folders.scratch() / "job" / "coast_desktop_v2_job.json";
    touch(job.parent_path() / "media" / "DJI_0042.MP4");
    test::writeTextFile(job, R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""},
        "sources": [{"id": "s1", "fileName": "DJI_0042.MP4", "type": "video"}],
        "timelines": [{"id": "t", "clips": [{"id": "c1", "type": "video", "sourceId": "s1", "name": "DJI_0042.MP4",
                                             "track": 1, "startTime": 0, "duration": 2}]}]})");
    opened = openThroughPanel(job);
    EXPECT_EQ(opened.status, "Project loaded — Grade OFF · overlays are not in JSON; if preview shows graphics, open "
                             "Source in a video player (camera originals only)");
    EXPECT_FALSE(opened.gradePreview);
    EXPECT_TRUE(opened.unsaved);

    // An empty project: nothing is missing, so nothing is asked.
    const fs::path empty = folders.scratch() / "empty" / "Empty.tavlek";
    fs::create_directories(empty.parent_path());
    EditSession::blankProject("Empty").saveProject(empty, std::nullopt);
    opened = openThroughPanel(empty);
    EXPECT_EQ(opened.status, "Project loaded — import media with Import in Media Pool");
    EXPECT_FALSE(opened.relinkAlert);
}

// A missing movie shown by another movie of the folder is named at once and listed for relinking,
// and the job handed to the export names the file the monitor shows; the document keeps its name.
TEST(OpeningAProject, AStandInIsNamedListedAndHandedOnAsShown)
{
    WorkspaceHarness h;
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch());
    fs::rename(trip.media / "DJI_0001.MP4", trip.media / "g23976.mp4");
    h.open(trip);
    EXPECT_EQ(h.engine().status(),
              "DJI_0001.MP4 not found — g23976.mp4 shown in its place · Project loaded — 1 clip(s) need relinking");
    EXPECT_TRUE(h.workspace().showRelinkMedia());
    EXPECT_EQ(h.workspace().relinkMissingNames(), std::vector<std::string>{"DJI_0001.MP4"});

    h.workspace().handoffToExportTab();
    const nlohmann::json job = nlohmann::json::parse(test::readTextFile(h.workflow.exportJobURL().value()));
    EXPECT_EQ(job["sources"][0]["fileName"], "g23976.mp4");
    EXPECT_EQ(h.session().sources[0].fileName, "DJI_0001.MP4");
    // The files themselves go with the job, for the 10-bit workspace to read.
    ASSERT_TRUE(h.workflow.exportResolvedMedia());
    EXPECT_EQ(h.workflow.exportResolvedMedia()->mediaFolder, trip.media);
    EXPECT_EQ(h.workflow.exportResolvedMedia()->files.at("src-video"), trip.media / "g23976.mp4");
}

// A LUT a clip names that grades nothing is named when the project opens, in words of its own
// once the user pauses on its clip, and marked in the Clip LUT picker, until the clip holds
// another LUT.
TEST(OpeningAProject, AClipLutThatGradesNothingIsNamedAndMarked)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    const test::GeneratedProject trip = openGraded(h, {{0, EditSession::clipGrade("missing_look.cube")}});
    EXPECT_EQ(h.engine().missingLutText(), "LUT missing_look.cube not found");
    const std::string shownWithout = "LUT missing_look.cube not found — the clip is shown without it · ";
    const std::string opened = "Project loaded — media ready · Ready — 9.00s · Grade OFF (smooth play)";
    EXPECT_EQ(h.engine().status(), "LUT missing_look.cube not found · " + opened);
    h.engine().setSelectedClipId("v1");
    EXPECT_EQ(h.workspace().lutPickerTitle("missing_look.cube"), "missing_look.cube (missing)");
    EXPECT_EQ(h.workspace().lutPickerTitle("None"), "None");
    h.engine().seek(6.0, true, {});
    EXPECT_EQ(h.engine().status(), "LUT missing_look.cube not found · " + opened);
    h.engine().seek(2.0, true, {});
    EXPECT_EQ(h.engine().status(), shownWithout + opened);

    test::writeTextFile(trip.media / "look.cube", test::identityCubeText());
    h.workspace().chooseClipLut("look.cube");
    EXPECT_EQ(h.engine().missingLutText(), std::nullopt);
    EXPECT_EQ(h.workspace().lutPickerTitle("look.cube"), "look.cube");
}

// A LUT file that is there but holds no usable .cube text is called not usable, never not found.
TEST(OpeningAProject, AClipLutThatIsThereButNotUsableIsNamedSo)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    openGraded(h, {{0, EditSession::clipGrade("swap_rb2.cube")}, {2, EditSession::clipGrade("gone.cube")}},
               {{"swap_rb2.cube", test::twoPointCubeText()}});
    EXPECT_EQ(h.engine().missingLutText(), "LUT gone.cube not found · LUT swap_rb2.cube is not usable");
    h.engine().seek(2.0, true, {});
    EXPECT_EQ(h.engine().status(), "LUT gone.cube not found · LUT swap_rb2.cube is not usable — the clip is shown "
                                   "without it · Project loaded — media ready · Ready — 9.00s · Grade OFF (smooth play)");
}

// Text that names a size but that the cube reader refuses (a table cut short, a size that is no
// number) is not usable either: the project's LUT and a clip's alike are named, and marked in
// their pickers.
TEST(OpeningAProject, ALutTheCubeReaderRefusesIsNamedAndMarked)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    openGraded(h, {{0, EditSession::clipGrade("trunc.cube")}},
               {{"trunc.cube", test::truncatedCubeText()}, {"banana.cube", test::bananaSizeCubeText()}},
               "banana.cube");
    EXPECT_EQ(h.engine().missingLutText(), "LUTs not usable: banana.cube, trunc.cube");
    EXPECT_EQ(h.engine().projectLutPickerValue().title(), "banana.cube (unusable)");
    h.engine().setSelectedClipId("v1");
    EXPECT_EQ(h.workspace().lutPickerTitle("trunc.cube"), "trunc.cube (unusable)");
    h.engine().seek(2.0, true, {});
    EXPECT_EQ(h.engine().status(), "LUT banana.cube is not usable · LUT trunc.cube is not usable — the clip is shown "
                                   "without it · Project loaded — media ready · Ready — 9.00s · Grade OFF (smooth play)");
}

// Every picker shows what grades the clip: its embedded LUT, a LUT that grades nothing marked
// "(missing)", and "None" for a LUT switched off, which an edit in the inspector leaves off.
TEST(OpeningAProject, BothLutPickersShowWhatGradesTheClip)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    openGraded(h, {{0, embeddedIdentity()}, {2, EditSession::clipGrade("missing_look.cube")}},
               {{"SwapRB.cube", test::swappingRedBlueCubeText()}});
    std::optional<GradeInspectorWindowArguments> opened;
    QObject::connect(&h.workspace(), &EditorWorkspaceController::gradeInspectorRequested,
                     [&](const GradeInspectorWindowArguments& arguments) { opened = arguments; });
    const auto inspectorPicker = [&](const std::string& clipId) {
        h.engine().setSelectedClipId(clipId);
        h.workspace().openGradeInspector(clipId);
        EXPECT_TRUE(opened);
        auto root = std::make_unique<GradeInspectorWindowRoot>(h.engine(), opened->initialEditState, clipId,
                                                               opened->clipName, opened->lutNames, [] {}, [] {});
        const VelmoraDarkPopUpPicker* picker = root->findChild<VelmoraDarkPopUpPicker*>(QStringLiteral("lutPicker"));
        const int row = VelmoraDarkPopUpPicker::rowForSelection(picker->selectableTags(), picker->selection());
        const std::string shown = picker->items().at(static_cast<std::size_t>(row)).title;
        h.workspace().closeGradeInspector();
        return shown;
    };

    EXPECT_EQ(h.workspace().lutPickerShownValue(), "None"); // nothing selected
    EXPECT_EQ(inspectorPicker("v1"), "(Embedded LUT)");
    EXPECT_EQ(h.workspace().lutPickerShownValue(), "(Embedded LUT)");
    EXPECT_EQ(inspectorPicker("still"), "missing_look.cube (missing)");
    EXPECT_EQ(h.workspace().lutPickerTitle(h.workspace().lutPickerShownValue()), "missing_look.cube (missing)");

    EditorJobV2::ClipGrade off;
    off.hasLut = false;
    off.lutFile = "SwapRB.cube";
    off.lutName = "SwapRB.cube";
    h.session().timelines[0].clips[0].grade = off;
    EXPECT_EQ(inspectorPicker("v1"), "None");
    EXPECT_EQ(h.workspace().lutPickerShownValue(), "None");
    ClipGradeEditState edited = opened->initialEditState;
    edited.exposure = 0.5;
    h.engine().applyClipGradeLive("v1", edited, false);
    EXPECT_EQ(h.session().clip("v1")->grade->hasLut, false);
    EXPECT_EQ(h.session().clip("v1")->grade->lutFile, "SwapRB.cube");
    EXPECT_EQ(h.workspace().lutPickerShownValue(), "None");
}

// The grade word describes the clip a pause shows, the selected one, else the one under the
// playhead: a LUT that is there, or the clip's embedded one, is never called missing.
TEST(OpeningAProject, TheGradeWordDescribesTheClipUnderThePlayhead)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    openGraded(h, {{0, EditSession::clipGrade("look.cube")}, {2, embeddedIdentity()}},
               {{"look.cube", test::identityCubeText()}});
    h.queue->runUntilIdle();
    h.engine().setGradePreviewEnabled(true);
    EXPECT_EQ(h.engine().selectedClipId(), std::nullopt);
    EXPECT_EQ(h.engine().gradeWordForStatus(), "ON · pause for LUT");
    h.engine().seek(5.0, true, {});
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine().gradeWordForStatus(), "ON · pause for LUT");
    h.engine().setSelectedClipId(std::string("v1"));
    EXPECT_EQ(h.engine().gradeWordForStatus(), "ON · pause for LUT");
}

// Choosing a LUT reads no file on the main thread: why it cannot grade is told once the
// engine's worker has read it, after the picture of the build under way.
TEST(OpeningAProject, AChosenLutIsReadOffTheMainThread)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    built.engineWorkInBackground = true;
    WorkspaceHarness h(built);
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip");
    h.open(trip);
    h.runBackgroundWork();
    test::writeTextFile(trip.media / "two.cube", test::twoPointCubeText());
    h.engine().setSelectedClipId(std::string("v1"));
    h.workspace().chooseClipLut("two.cube");
    h.queue->runUntilIdle();
    h.settle();
    EXPECT_FALSE(h.engine().status().starts_with("LUT two.cube")) << h.engine().status();
    EXPECT_FALSE(h.background->empty());
    h.runBackgroundWork();
    EXPECT_TRUE(h.engine().status().starts_with("LUT two.cube cannot be used: LUT_3D_SIZE 2 (needs 3 or more) \u2014 "
                                                "picture left without it \u00B7 "))
        << h.engine().status();
}

// A browser project beside its "media" folder has its own folder as media folder: a LUT in
// "luts" beside the project is found; one in "media/luts" is not looked for, and is named.
TEST(OpeningAProject, ABrowserProjectsLutIsLookedForInTheLutsFolderBesideIt)
{
    WorkspaceHarness::Options built;
    built.fakePlayer = true;
    WorkspaceHarness h(built);
    const fs::path web = h.folders.scratch() / "web" / "Coast.tavlek";
    touch(web.parent_path() / "media" / "DJI_0042.MP4");
    test::writeTextFile(web, R"({"state": {"projectSettings": {"name": "Coast Trip"}},
        "library": [{"id": "m1", "name": "DJI_0042.MP4", "type": "video"}],
        "timelines": [{"id": "tl", "name": "Main", "clips": [{"id": "c1", "type": "video", "name": "DJI_0042.MP4",
                       "track": 1, "startTime": 0, "duration": 2, "hasLut": true, "lutFile": "Look.cube"}]}]})");
    fs::create_directories(web.parent_path() / "media" / "luts");
    test::writeTextFile(web.parent_path() / "media" / "luts" / "Look.cube", test::identityCubeText());
    h.open({web, {}});
    h.runBackgroundWork();
    EXPECT_EQ(h.engine().previewMediaFolder(), web.parent_path());
    EXPECT_EQ(h.engine().missingLutText(), "LUT Look.cube not found");

    fs::create_directories(web.parent_path() / "luts");
    fs::rename(web.parent_path() / "media" / "luts" / "Look.cube", web.parent_path() / "luts" / "Look.cube");
    h.workspace().handleOpenURL(web);
    h.workspace().answerDiscardQuestion(true); // a browser project opens not saved yet
    h.settle();
    h.runBackgroundWork();
    EXPECT_EQ(h.engine().missingLutText(), std::nullopt);
}

// Opening asks for the preview build before the views take the project, publishes it to them
// once, and holds the poster frames until the first picture; these then read the headers the
// build read rather than their files'.
TEST(OpeningAProject, BuildsFirstAndMakesPostersAfterThePictureFromTheBuildsHeaders)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch(), true);
    std::vector<std::size_t> buildsWhenPublished;
    QObject::connect(&h.engine(), &TimelinePreviewEngine::sessionChanged,
                     [&] { buildsWhenPublished.push_back(h.builder->buildCount()); });
    h.workspace().handleOpenURL(trip.file);
    h.queue->runUntilIdle();
    EXPECT_EQ(buildsWhenPublished, std::vector<std::size_t>{1});
    EXPECT_TRUE(h.background->empty());

    PreviewComposition built;
    for (const char* name : {"DJI_0001.MP4", "Still.png"})
        built.assets[(trip.media / name).string()] = Asset::openFromHeader(trip.media / name);
    h.builder->finish(4, built);
    h.queue->runUntilIdle(); // installed, and its seek landed
    ASSERT_EQ(h.background->size(), 1u);
    const std::uint64_t headersRead = Asset::headerReadCount();
    h.runBackgroundWork();
    EXPECT_EQ(Asset::headerReadCount(), headersRead);
    EXPECT_TRUE(h.session().sources[0].thumbnailData && h.session().sources[1].thumbnailData);
}

// Nothing holds the posters for ever: a build that fails lets them go. A project whose pictures
// resolve to no file has the build asked for at once dropped: it installs no player.
TEST(OpeningAProject, AFailedBuildLetsThePostersGoAndAnUnbuildableOneInstallsNothing)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch(), true);
    h.workspace().handleOpenURL(trip.file);
    h.queue->runUntilIdle();
    h.builder->fail(Error(TimelinePreviewEngine::previewErrorDomain, 2, "Could not create composition track"));
    h.queue->runUntilIdle();
    EXPECT_EQ(h.background->size(), 1u);

    fs::remove(trip.media / "DJI_0001.MP4");
    fs::remove(trip.media / "Still.png");
    h.workspace().handleOpenURL(trip.file);
    h.queue->runUntilIdle();
    ASSERT_EQ(h.builder->buildCount(), 2u);
    h.builder->finish(4);
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine().avPlayer(), nullptr);
    EXPECT_EQ(h.engine().status(), "Project loaded — relink media folder with your clip files");
}

// The relink names come from the build's own lookup of the media folder, on its worker: the
// opening lists the folder once, and not on the main thread.
TEST(OpeningAProject, ItsFilesAreLookedUpOnceByItsBuild)
{
    test::UserFoldersScope folders;
    auto queue = std::make_shared<ManualMainQueue>();
    EditorWorkspaceController::Services services;
    services.engine = {queue, systemClock(), std::make_shared<PlatformCompositionBuilder>(queue, [] {
                           return std::make_shared<NullAudioSink>(systemClock());
                       })};
    services.filePanels = std::make_shared<test::FakeFilePanels>();
    services.fileRevealer = std::make_shared<test::FakeFileRevealer>();
    services.runInBackground = [](std::function<void()>) {};
    VelmoraWorkflowState workflow;
    EditorWorkspaceController workspace(workflow, services);
    const test::GeneratedProject trip = test::writeProject(folders.scratch(), true);
    fs::remove(trip.media / "Music.wav");

    const std::uint64_t listings = MediaResolver::detail::folderListingCount();
    workspace.handleOpenURL(trip.file);
    EXPECT_TRUE(workspace.relinkMissingNames().empty());
    ASSERT_TRUE(queue->runUntil([&] { return workspace.showRelinkMedia(); }, 30));
    EXPECT_EQ(workspace.relinkMissingNames(), std::vector<std::string>{"Music.wav"});
    ASSERT_TRUE(queue->runUntil([&] { return workspace.engine().lastError().has_value(); }, 30));
    // The opening's words, written while the build ran, stay in front of its failure.
    EXPECT_EQ(workspace.engine().status(), "Project loaded — 1 clip(s) need relinking · Failed: Media not found for "
                                           "timeline clips: Music.wav. Use Media Folder… or relink.");
    EXPECT_EQ(MediaResolver::detail::folderListingCount(), listings + 1);
}

// Reading an opened project's document, choosing its media folder and asking whether it holds
// media read megabytes and folders that can hold tens of thousands of files: all are done on the
// engine's worker, never on the main thread, and the answers land through the main queue. A
// document that cannot be read is said once read, unless another project was asked for since.
// A file name is bytes, not always UTF-8: such a project opens by its bytes, and where words name
// it the bytes that are not UTF-8 read \xE9.
TEST(OpeningAProject, AFileWhoseNameIsNotUtf8OpensAndIsNamedWithItsBytesEscaped)
{
    WorkspaceHarness h;
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip");
    const fs::path odd = trip.file.parent_path() / "Trip\xe9.tavlek";
    fs::rename(trip.file, odd);
    h.workspace().handleOpenURL(odd);
    h.runBackgroundWork();
    h.settle();
    ASSERT_NE(h.engine().session(), nullptr);
    EXPECT_FALSE(h.workspace().showError()) << h.workspace().errorText();
    EXPECT_EQ(h.workspace().sessionURL(), odd);
    EXPECT_EQ(h.workspace().mediaFolderURL(), trip.media);
    EXPECT_EQ(VelmoraProjectFile::displayName(odd), "Trip\\xE9");
    h.workspace().saveProject();
    EXPECT_FALSE(h.workspace().showError()) << h.workspace().errorText();
    EXPECT_EQ(h.engine().status(), "Saved Trip\\xE9.tavlek");
    EXPECT_TRUE(EditSession::load(odd).project);

    h.workspace().handleOpenURL(trip.file.parent_path() / "gone\xe9.tavlek");
    h.runBackgroundWork();
    h.settle();
    ASSERT_TRUE(h.workspace().showError());
    EXPECT_EQ(h.workspace().errorText(), "Could not open \u201Cgone\\xE9.tavlek\u201D: No such file or directory.");
}

TEST(OpeningAProject, ItsDocumentAndMediaFolderAreReadOnTheWorker)
{
    WorkspaceHarness::Options built;
    built.engineWorkInBackground = true;
    WorkspaceHarness h(built);
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch());
    const fs::path broken = h.folders.scratch() / "Broken.tavlek";
    std::ofstream(broken) << "{\"timelines\": [";

    h.workspace().handleOpenURL(broken);
    h.workspace().handleOpenURL(trip.file);
    EXPECT_EQ(h.engine().session(), nullptr);
    EXPECT_FALSE(h.workspace().mediaFolderURL().has_value());
    h.runBackgroundWork();
    ASSERT_NE(h.engine().session(), nullptr);
    EXPECT_EQ(h.workspace().mediaFolderURL(), trip.media);
    EXPECT_FALSE(h.workspace().showError()) << h.workspace().errorText();

    h.workspace().handleOpenURL(broken);
    EXPECT_FALSE(h.workspace().showError());
    h.runBackgroundWork();
    EXPECT_TRUE(h.workspace().showError());
    EXPECT_NE(h.workspace().errorText(), "");
    EXPECT_EQ(h.workspace().sessionURL(), trip.file);

    const fs::path empty = h.folders.scratch() / "empty";
    fs::create_directories(empty);
    h.workspace().setMediaFolderURL(empty);
    EXPECT_FALSE(h.workspace().needsMediaImport());
    EXPECT_FALSE(h.background->empty());
    h.runBackgroundWork();
    EXPECT_TRUE(h.workspace().needsMediaImport());
    EXPECT_EQ(h.workspace().previewPlaceholder().heading, "Re-import clips for this project");
}

// What does not open for editing is said, naming the file, with where or how it opens; the
// project before stays, and Save writes it, never the file refused. A single-video job is one by
// its kind, whatever its values: refused, with the values that do not read named, and nothing is
// made beside it. Of files handed over together the first that opens opens, and every other is
// named: one refused with its refusal.
TEST(OpeningAProject, WhatDoesNotOpenIsNamedWithHowItOpens)
{
    WorkspaceHarness::Options built;
    built.engineWorkInBackground = true;
    WorkspaceHarness h(built);
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch());
    h.workspace().handleOpenURL(trip.file);
    h.runBackgroundWork();
    const auto write = [&](const std::string& name, const std::string& text) {
        test::writeTextFile(h.folders.scratch() / name, text);
        return h.folders.scratch() / name;
    };
    const std::string singleVideoJob = R"({"version": 1, "grade": {"lutCube": "look.cube"}, "sourceOutSeconds": 4})";
    const fs::path grade = write("grade.json", singleVideoJob);
    const fs::path empty = write("empty.tavlek", "");
    const std::string wrongKind =
        R"({"version": 1, "grade": {"lutCube": "look.cube"}, "sourceOutSeconds": "3.0", "sourceInSeconds": [0]})";
    const fs::path sv = write("sv.json", wrongKind);
    const std::vector<std::pair<std::vector<fs::path>, std::string>> openings = {
        {{grade}, "\u201Cgrade.json\u201D is a single-video job: open it in the 10-bit Export workspace."},
        {{sv}, "\u201Csv.json\u201D is a single-video job: open it in the 10-bit Export workspace. The value at "
               "\u201CsourceInSeconds\u201D is [0], not a number. The value at \u201CsourceOutSeconds\u201D is \"3.0\", "
               "not a number."},
        {{empty}, "Could not load \u201Cempty.tavlek\u201D: JSON file is empty."},
        {{empty, grade, trip.media / "DJI_0001.MP4"},
         "Could not load \u201Cempty.tavlek\u201D: JSON file is empty.\n"
         "\u201Cgrade.json\u201D is a single-video job: open it in the 10-bit Export workspace.\n"
         "Could not open \u201CDJI_0001.MP4\u201D: only a project (.tavlek) or a job JSON file (.json) opens this way. "
         "Bring media files in with Import in the media pool."},
    };
    for (const auto& [files, said] : openings) {
        h.workspace().handleOpenURLs(files);
        h.runBackgroundWork();
        EXPECT_TRUE(h.workspace().showError());
        EXPECT_EQ(h.workspace().errorText(), said);
        EXPECT_EQ(h.workspace().sessionURL(), trip.file);
        h.workspace().setShowError(false);
    }
    // Open… takes the same way.
    h.workspace().pickSession();
    h.panels->choose(sv);
    h.runBackgroundWork();
    EXPECT_TRUE(h.workspace().showError());
    EXPECT_EQ(h.workspace().errorText(), openings[1].second);
    EXPECT_EQ(h.workspace().sessionURL(), trip.file);
    h.workspace().setShowError(false);
    h.workspace().saveProject();
    EXPECT_EQ(test::readTextFile(grade), singleVideoJob);
    EXPECT_EQ(test::readTextFile(sv), wrongKind);
    EXPECT_EQ(test::readTextFile(empty), "");
    EXPECT_FALSE(fs::exists(h.folders.scratch() / "sv_media"));

    const test::GeneratedProject second = test::writeProject(h.folders.scratch() / "second");
    // The first refused, the next opens.
    h.workspace().handleOpenURLs({sv, second.file, grade});
    h.runBackgroundWork();
    EXPECT_EQ(h.workspace().sessionURL(), second.file);
    EXPECT_TRUE(h.workspace().showError());
    EXPECT_EQ(h.workspace().errorText(),
              openings[1].second + "\n\u201Cgrade.json\u201D was not opened: the window holds one project at a time. "
                                   "Open it with Import Web Job JSON\u2026 when you are ready for it.");
    h.workspace().setShowError(false);

    h.workspace().handleOpenURLs({second.file, grade});
    EXPECT_FALSE(h.workspace().showError());
    h.runBackgroundWork();
    EXPECT_EQ(h.workspace().sessionURL(), second.file);
    EXPECT_TRUE(h.workspace().showError());
    EXPECT_EQ(h.workspace().errorText(), "\u201Cgrade.json\u201D was not opened: the window holds one project at a "
                                         "time. Open it with Import Web Job JSON\u2026 when you are ready for it.");

    // Kept by the user when asked to discard its changes, the project stays, and the others are
    // named all the same.
    h.workspace().setShowError(false);
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(h.workspace().projectDirty());
    h.workspace().handleOpenURLs({trip.file, grade});
    h.workspace().answerDiscardQuestion(false);
    EXPECT_EQ(h.workspace().sessionURL(), second.file);
    EXPECT_TRUE(h.workspace().showError());
    EXPECT_EQ(h.workspace().errorText(), "\u201Cgrade.json\u201D was not opened: the window holds one project at a "
                                         "time. Open it with Import Web Job JSON\u2026 when you are ready for it.");
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

// Undo steps belong to the project they were made in: after another project (here one whose
// timeline has the same id) is opened, undo can no longer write the old clips into it.
TEST(OpeningAProject, ForgetsTheUndoHistoryOfThePreviousProject)
{
    WorkspaceHarness h;
    const test::GeneratedProject first = test::writeProject(h.folders.scratch() / "first");
    const test::GeneratedProject second = test::writeProject(h.folders.scratch() / "second");
    h.open(first);
    h.engine().selectClip("v1", false);
    h.engine().deleteSelectionOrMarker();
    ASSERT_TRUE(h.engine().canUndo());

    h.open(second);
    h.workspace().answerDiscardQuestion(true); // the deletion is not saved
    const std::vector<std::string> opened = test::describeTimeline(h.session());
    EXPECT_FALSE(h.engine().canUndo());
    h.engine().undo();
    EXPECT_EQ(test::describeTimeline(h.session()), opened);
}

} // namespace
} // namespace velmora
