#include <QImage>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "support/MediaFixtures.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

std::vector<std::string> fileNames(const std::vector<EditSession::Source>& sources)
{
    std::vector<std::string> names;
    for (const EditSession::Source& source : sources)
        names.push_back(source.fileName);
    return names;
}

// "name type width×height rate" of each source, "-" for what is not known.
std::vector<std::string> describeSources(const std::vector<EditSession::Source>& sources)
{
    const auto number = [](const auto& value) { return value ? std::to_string(*value).substr(0, 5) : "-"; };
    std::vector<std::string> rows;
    for (const EditSession::Source& source : sources)
        rows.push_back(source.fileName + " " + source.type.value_or("-") + " " + number(source.width) + "×" +
                       number(source.height) + " " + number(source.framerate));
    return rows;
}

std::vector<std::string> folderListing(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

QImage decoded(const std::optional<SharedBytes>& jpeg)
{
    return jpeg ? QImage::fromData((*jpeg)->data(), static_cast<int>((*jpeg)->size()), "JPEG") : QImage();
}

// A camera card: a 25 fps clip, the same shot stored sideways, a 29.97 fps clip, a PNG of 144 dpi,
// a phone's HEIC and a file of another kind.
fs::path makeCard(const fs::path& folder)
{
    fs::create_directories(folder);
    test::ClipSettings clip;
    clip.frameCount = 25;
    test::makeClip(folder / "DJI_0001.MP4", clip);
    clip.rotation = 90;
    test::makeClip(folder / "DJI_0002.MOV", clip);
    clip.rotation = 0;
    clip.fpsNum = 30000;
    clip.fpsDen = 1001;
    test::makeClip(folder / "C0003.mp4", clip);
    test::runFFmpeg("-f lavfi -i color=c=red:s=64x48 -frames:v 1 -dpi 144 " + test::shellQuote((folder / "Still.png").string()));
    test::makeHeifStill(folder / "IMG_0004.HEIC", 320, 240, 7);
    test::writeTextFile(folder / "notes.txt", "x");
    return folder;
}

TEST(ImportMedia, CopiesFilesIntoANewProjectAndAsksAboutTheFrameRate)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path card = makeCard(h.folders.scratch() / "card");

    w.importMedia();
    EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::openFiles);
    EXPECT_EQ(h.panels->current().title, "Select source files or a folder of media files");
    EXPECT_EQ(h.panels->current().acceptLabel, "Import Media");
    EXPECT_TRUE(h.panels->current().canChooseDirectories);
    EXPECT_TRUE(h.panels->current().allowsMultipleSelection());
    h.panels->choose({card / "DJI_0001.MP4", card / "DJI_0002.MOV", card / "notes.txt", card / "C0003.mp4",
                      card / "Still.png", card / "IMG_0004.HEIC"});

    // Without a project, a blank one takes the files, in its default folder.
    ASSERT_TRUE(h.engine().session() && h.session().project);
    EXPECT_EQ(h.session().project->name, "Untitled Project");
    const fs::path media = h.folders.videos() / "Velmora Desktop" / "Untitled Project_media";
    EXPECT_EQ(w.mediaFolderURL(), media);
    EXPECT_EQ(h.session().mediaFolder, media.string());
    // Copies only, nothing left half-written. The sideways clip is upright; sizes are pixels
    // whatever the picture's resolution says.
    EXPECT_EQ(folderListing(media),
              (std::vector<std::string>{"C0003.mp4", "DJI_0001.MP4", "DJI_0002.MOV", "IMG_0004.HEIC", "Still.png"}));
    const std::vector<EditSession::Source>& sources = h.session().sources;
    EXPECT_EQ(describeSources(sources),
              (std::vector<std::string>{"DJI_0001.MP4 video 160×96 25.00", "DJI_0002.MOV video 96×160 25.00",
                                        "C0003.mp4 video 160×96 29.97", "Still.png image 64×48 -",
                                        "IMG_0004.HEIC image 320×240 -"}));
    EXPECT_FALSE(sources[0].thumbnailData); // made on a worker
    EXPECT_EQ(decoded(sources[3].thumbnailData).size(), QSize(64, 48));
    EXPECT_EQ(decoded(sources[4].thumbnailData).size(), QSize(240, 180));
    EXPECT_EQ(h.engine().status(), "Added 5 clip(s) to media pool — double-click to open, or drag to timeline");
    EXPECT_TRUE(w.importHintDismissed());
    EXPECT_TRUE(w.projectDirty());

    // The first video runs at 25 fps, the project at 24: asked once the import has finished.
    EXPECT_FALSE(w.frameRateQuestion());
    h.queue->runUntilIdle();
    EXPECT_EQ(w.frameRateQuestion(),
              (EditorWorkspaceController::FrameRateQuestion{
                  "Match project frame rate to clip?",
                  "DJI_0001.MP4 is 25 fps.\nThe project is set to 24.00 fps.\n\nUsing the clip rate avoids export "
                  "timing issues.",
                  "Use 25 fps", "Keep 24.00 fps"}));
    w.answerFrameRateQuestion(false);
    EXPECT_FALSE(w.frameRateQuestion());
    EXPECT_EQ(h.session().project->fps, 24.0);

    // A 29.97 clip: its rate is taken exactly.
    fs::copy_file(card / "C0003.mp4", card / "C0005.mp4");
    w.processImportedFiles({card / "C0005.mp4"});
    h.queue->runUntilIdle();
    ASSERT_TRUE(w.frameRateQuestion());
    EXPECT_EQ(w.frameRateQuestion()->useClipRate, "Use 29.970 fps");
    w.setProjectDirty(false);
    w.answerFrameRateQuestion(true);
    EXPECT_NEAR(*h.session().project->fps, 30000.0 / 1001.0, 1e-9);
    EXPECT_EQ(h.engine().status(), "Project frame rate set to 29.970 fps (from C0005.mp4)");
    EXPECT_TRUE(w.projectDirty());

    // Names already in the pool, in any letter case, are not imported again; a close rate asks
    // nothing.
    fs::create_directories(card / "other");
    fs::copy_file(card / "DJI_0001.MP4", card / "other" / "dji_0001.mp4");
    w.processImportedFiles({card / "DJI_0001.MP4", card / "other" / "dji_0001.mp4", card / "notes.txt"});
    EXPECT_EQ(h.engine().status(), "Already in media pool: DJI_0001.MP4, dji_0001.mp4");
    EXPECT_EQ(h.session().sources.size(), 6u);
    h.queue->runUntilIdle();
    EXPECT_FALSE(w.frameRateQuestion());

    // A rate above 240 fps is not offered: a project at it could not be opened or exported.
    test::ClipSettings fast;
    fast.fpsNum = 300;
    fast.frameCount = 30;
    test::makeClip(card / "HS_0006.mp4", fast);
    w.processImportedFiles({card / "HS_0006.mp4"});
    h.queue->runUntilIdle();
    EXPECT_FALSE(w.frameRateQuestion());
}

// The preview build and the poster frame started by the import work on what the session was
// before the rate was answered; landing after the answer, neither takes the accepted rate back,
// in the session or in the saved file.
TEST(ImportMedia, AnAcceptedRateOutlivesWhatTheImportStartedBeforeTheAnswer)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const fs::path card = h.folders.scratch() / "card";
    fs::create_directories(card);
    test::ClipSettings clip;
    clip.frameCount = 25;
    test::makeClip(card / "A001.MP4", clip);

    w.processImportedFiles({card / "A001.MP4"});
    ASSERT_EQ(h.builder->buildCount(), 1u);
    ASSERT_FALSE(h.background->empty());
    h.queue->runUntilIdle();
    ASSERT_TRUE(w.frameRateQuestion());
    w.answerFrameRateQuestion(true);
    EXPECT_EQ(h.session().project->fps, 25.0);

    h.builder->finish(1.0, 0);
    h.runBackgroundWork();
    h.settle();
    EXPECT_EQ(h.session().project->fps, 25.0);
    EXPECT_TRUE(h.session().sources.at(0).thumbnailData);
    EXPECT_TRUE(h.engine().avPlayer());

    const fs::path saved = h.folders.scratch() / "Rate.tavlek";
    w.saveProject();
    h.panels->choose(saved);
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(EditSession::load(saved).project->fps, 25.0);
}

// Camera names repeat from card to card: an import never replaces a file in the media folder,
// and a copy that fails leaves nothing behind.
TEST(ImportMedia, NeverReplacesAFileAndReportsWhatCouldNotBeCopied)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path card = makeCard(h.folders.scratch() / "card");
    w.startNewProject();
    ASSERT_TRUE(w.mediaFolderURL());
    const fs::path media = *w.mediaFolderURL();
    test::writeTextFile(media / "DJI_0001.MP4", "footage of another day");
    fs::copy_file(card / "DJI_0002.MOV", media / "DJI_0002.MOV");
    fs::create_directories(card / "Broken.mov"); // a folder: cannot be copied

    w.processImportedFiles({card / "DJI_0001.MP4", card / "DJI_0002.MOV", card / "Broken.mov", card / "C0003.mp4",
                            card / "Still.png", card / "IMG_0004.HEIC"});
    EXPECT_EQ(test::readTextFile(media / "DJI_0001.MP4"), "footage of another day");
    // The identical file counts as copied.
    EXPECT_EQ(fileNames(h.session().sources),
              (std::vector<std::string>{"DJI_0002.MOV", "C0003.mp4", "Still.png", "IMG_0004.HEIC"}));
    // The status line names what was left out and why, as the alert does.
    const std::string added = "Added 4 clip(s) to media pool — double-click to open, or drag to timeline; not "
                              "imported: DJI_0001.MP4: a different file with this name is already in the media "
                              "folder; Broken.mov: ";
    EXPECT_EQ(h.engine().status().substr(0, added.size()), added) << h.engine().status();
    ASSERT_TRUE(w.showError());
    const std::string prefix = "Some files were not imported:\nDJI_0001.MP4: a different file with this name is "
                               "already in the media folder\nBroken.mov: ";
    EXPECT_EQ(w.errorText().substr(0, prefix.size()), prefix) << w.errorText();
    EXPECT_EQ(folderListing(media),
              (std::vector<std::string>{"C0003.mp4", "DJI_0001.MP4", "DJI_0002.MOV", "IMG_0004.HEIC", "Still.png"}));

    // Seven failures and nothing imported: the first five are listed.
    w.setShowError(false);
    std::vector<fs::path> missing;
    for (int i = 1; i <= 7; ++i)
        missing.push_back(card / ("GONE_" + std::to_string(i) + ".MP4"));
    w.processImportedFiles(missing);
    const std::string failed = "Import failed — GONE_1.MP4: ";
    EXPECT_EQ(h.engine().status().substr(0, failed.size()), failed) << h.engine().status();
    EXPECT_NE(h.engine().status().find("; GONE_3.MP4: "), std::string::npos) << h.engine().status();
    EXPECT_EQ(h.engine().status().find("GONE_4.MP4"), std::string::npos) << h.engine().status();
    EXPECT_TRUE(h.engine().status().ends_with("; 4 more — see error details")) << h.engine().status();
    EXPECT_NE(w.errorText().find("\nGONE_5.MP4: "), std::string::npos);
    EXPECT_EQ(w.errorText().find("GONE_6.MP4"), std::string::npos);
}

// Two cards each hold a C0001.MP4: the second is another file, left out (the media folder's copy
// is never replaced) and named with its reason; the import that adds nothing changes nothing, so
// the project is not marked unsaved nor its preview built again; the first imported again is
// already there.
TEST(ImportMedia, ASecondFileOfAPooledNameIsLeftOutAndSaidSo)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const fs::path cam1 = makeCard(h.folders.scratch() / "cam1");
    const fs::path cam2 = h.folders.scratch() / "cam2";
    fs::create_directories(cam2);
    fs::copy_file(cam1 / "C0003.mp4", cam1 / "C0001.MP4");
    fs::copy_file(cam1 / "DJI_0001.MP4", cam2 / "C0001.MP4");
    w.startNewProject();
    ASSERT_TRUE(w.mediaFolderURL());
    const fs::path media = *w.mediaFolderURL();

    w.processImportedFiles({cam1 / "C0001.MP4"});
    h.settle();
    ASSERT_EQ(fileNames(h.session().sources), std::vector<std::string>{"C0001.MP4"});
    w.setShowError(false);

    w.setProjectDirty(false);
    w.processImportedFiles({cam2 / "C0001.MP4"});
    const std::string reason = "C0001.MP4: a different file with this name is already in the media folder";
    EXPECT_EQ(h.engine().status(), "Import failed — " + reason);
    EXPECT_FALSE(h.engine().isBuildingPreview());
    EXPECT_FALSE(w.projectDirty());
    h.settle();
    ASSERT_NE(h.engine().avPlayer(), nullptr);
    EXPECT_EQ(h.engine().status(), "Import failed — " + reason);
    ASSERT_TRUE(w.showError());
    EXPECT_EQ(w.errorText(), "Some files were not imported:\n" + reason);
    EXPECT_EQ(fileNames(h.session().sources), std::vector<std::string>{"C0001.MP4"});
    EXPECT_EQ(test::readTextFile(media / "C0001.MP4"), test::readTextFile(cam1 / "C0001.MP4"));
    EXPECT_EQ(folderListing(media), std::vector<std::string>{"C0001.MP4"});

    // The same file again, from its card or from the media folder, is already in the pool.
    w.setShowError(false);
    w.processImportedFiles({cam1 / "C0001.MP4", media / "C0001.MP4"});
    EXPECT_EQ(h.engine().status(), "Already in media pool: C0001.MP4, C0001.MP4");
    EXPECT_FALSE(w.showError());
}

// A project stores its sources' names as UTF-8 text: a file named otherwise is left out at import,
// named with its bytes escaped and what to do, and the rest of the import is saved.
TEST(ImportMedia, AFileWhoseNameIsNotUtf8IsLeftOutAndTheProjectSaves)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path folder = h.folders.scratch() / "day1";
    fs::create_directories(folder);
    test::writeTextFile(folder / "caf\xe9.mp4", "x");
    test::writeTextFile(folder / "Good.mp4", "x");

    w.importMedia();
    h.panels->choose(folder);
    ASSERT_TRUE(h.engine().session() && w.mediaFolderURL());
    EXPECT_EQ(fileNames(h.session().sources), std::vector<std::string>{"Good.mp4"});
    EXPECT_EQ(folderListing(*w.mediaFolderURL()), std::vector<std::string>{"Good.mp4"});
    const std::string reason = "caf\\xE9.mp4: the name is not UTF-8 text, which a project cannot store (rename the "
                               "file, then import it)";
    EXPECT_EQ(h.engine().status(), "Added 1 clip(s) to media pool \u2014 double-click to open, or drag to timeline; "
                                   "not imported: " + reason);
    ASSERT_TRUE(w.showError());
    EXPECT_EQ(w.errorText(), "Some files were not imported:\n" + reason);

    w.setShowError(false);
    const fs::path saved = h.folders.scratch() / "Day.tavlek";
    w.saveProject();
    h.panels->choose(saved);
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(fileNames(EditSession::load(saved).sources), std::vector<std::string>{"Good.mp4"});
}

// Any name the file system holds imports: the copy is made under a short name of its own and
// takes the file's name once complete.
TEST(ImportMedia, AFileWithTheLongestNameTheFileSystemHoldsImports)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path card = h.folders.scratch() / "card";
    fs::create_directories(card);
    const std::string name = std::string(251, 'L') + ".mp4";
    ASSERT_EQ(name.size(), 255u);
    test::writeTextFile(card / name, "x");

    w.importMedia();
    h.panels->choose(card / name);
    ASSERT_FALSE(w.showError()) << w.errorText();
    ASSERT_TRUE(h.engine().session() && w.mediaFolderURL());
    EXPECT_EQ(fileNames(h.session().sources), std::vector<std::string>{name});
    EXPECT_EQ(folderListing(*w.mediaFolderURL()), std::vector<std::string>{name});
    EXPECT_TRUE(test::readTextFile(*w.mediaFolderURL() / name) == test::readTextFile(card / name));
}

TEST(ImportMedia, AFolderGivesItsDirectContents)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path folder = h.folders.scratch() / "day1";
    fs::create_directories(folder / "sub");
    for (const fs::path& file : {folder / "A.mp4", folder / "sub" / "B.mp4", folder / ".hidden.png", folder / "Still.PNG"})
        test::writeTextFile(file, "x");

    // A cancelled panel does nothing.
    w.importMedia();
    h.panels->cancel();
    EXPECT_FALSE(w.hasProject());

    // Files and folders from the same panel.
    test::writeTextFile(h.folders.scratch() / "Loose.mp4", "x");
    w.importMedia();
    h.panels->choose({h.folders.scratch() / "Loose.mp4", folder});
    std::vector<std::string> names = fileNames(h.session().sources);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A.mp4", "Loose.mp4", "Still.PNG"}));

    // A folder with nothing to import says so and changes nothing to save.
    fs::create_directories(h.folders.scratch() / "empty");
    w.setProjectDirty(false);
    w.importMedia();
    h.panels->choose(h.folders.scratch() / "empty");
    EXPECT_EQ(h.engine().status(), "No new clips imported (unsupported file type or empty selection)");
    EXPECT_FALSE(w.projectDirty());
}

} // namespace
} // namespace velmora
