#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <QImage>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "platform/dispatch/BackgroundWorker.h"
#include "support/MediaFixtures.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

const EditSession::Source& sourceNamed(const EditSession& session, const std::string& fileName)
{
    for (const EditSession::Source& source : session.sources) {
        if (source.fileName == fileName)
            return source;
    }
    throw std::runtime_error("no source " + fileName);
}

TEST(SourceThumbnails, VideosGetAPosterFrameOnAWorkerButAShortClipNone)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const fs::path card = h.folders.scratch() / "card";
    fs::create_directories(card);
    test::ClipSettings clip;
    clip.frameCount = 50; // 2 s at 25 fps
    test::makeClip(card / "DJI_0001.MP4", clip);
    clip.fpsNum = 30;
    clip.frameCount = 9; // 0.3 s
    test::makeClip(card / "Short.mp4", clip);
    test::makeStillImage(card / "Still.png", 32, 32, 3);

    w.processImportedFiles({card / "DJI_0001.MP4", card / "Short.mp4", card / "Still.png"});
    h.settle(); // the preview player is installed
    ASSERT_NE(h.engine().avPlayer(), nullptr);
    EXPECT_FALSE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    ASSERT_EQ(h.background->size(), 1u);
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(h.engine().canUndo());
    w.setProjectDirty(false);

    h.runBackgroundWork();
    const EditSession::Source& video = sourceNamed(h.session(), "DJI_0001.MP4");
    ASSERT_TRUE(video.thumbnailData);
    // The frame near 0.5 s, at the clip's size (never enlarged).
    const QImage picture = QImage::fromData((*video.thumbnailData)->data(), static_cast<int>((*video.thumbnailData)->size()));
    EXPECT_EQ(picture.size(), QSize(160, 96));
    EXPECT_NEAR(test::readFrameStamp([&](int x, int y) { return qGreen(picture.pixel(x, y)) / 255.0; }, 160, 96), 12, 3);
    EXPECT_FALSE(sourceNamed(h.session(), "Short.mp4").thumbnailData);
    EXPECT_EQ(h.engine().status(), "Thumbnails ready — drag clips to the timeline");
    // Storing them keeps the undo history and is not an unsaved change.
    EXPECT_TRUE(h.engine().canUndo());
    EXPECT_FALSE(w.projectDirty());

    // A source that already has its picture is not done again; one without a type is skipped.
    w.generateThumbnailsForSources({video.id}, card);
    h.session().sources.emplace_back("untyped", "DJI_0001.MP4");
    w.generateThumbnailsForSources({"untyped"}, *w.mediaFolderURL());
    EXPECT_TRUE(h.background->empty());
}

// Posters that land while the import's preview is still being built are said, and stay in front
// of the build's words when it ends.
TEST(SourceThumbnails, PostersThatLandWhileThePreviewIsBuiltAreSaid)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    const fs::path card = h.folders.scratch() / "card";
    fs::create_directories(card);
    test::ClipSettings clip;
    clip.frameCount = 50;
    test::makeClip(card / "DJI_0001.MP4", clip);
    // A file the import leaves out stays named when the posters land: no action has replaced it.
    test::writeTextFile(card / "caf\xe9.mp4", "x");
    h.workspace().processImportedFiles({card / "DJI_0001.MP4", card / "caf\xe9.mp4"});
    ASSERT_EQ(h.engine().avPlayer(), nullptr);
    ASSERT_TRUE(h.engine().isBuildingPreview());

    h.runBackgroundWork();
    ASSERT_TRUE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    const std::string ready = "not imported: caf\\xE9.mp4: the name is not UTF-8 text, which a project cannot store "
                              "(rename the file, then import it) · Thumbnails ready — drag clips to the timeline";
    EXPECT_EQ(h.engine().status(), ready);
    h.settle();
    ASSERT_NE(h.engine().avPlayer(), nullptr);
    EXPECT_TRUE(h.engine().status().starts_with(ready + " · Ready — ")) << h.engine().status();
}

// A file that could not be read when the project opened stays named when the posters land.
TEST(SourceThumbnails, AFileThatCannotBeReadIsStillNamedWhenThePostersLand)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    h.workspace().handleOpenURL(test::writeProject(h.folders.scratch(), true).file);
    h.queue->advance(0.5);
    PreviewComposition built;
    built.unreadableSources = {{"src-still", "Permission denied"}};
    h.builder->finish(9.0, built);
    h.queue->advance(0.5);
    h.runBackgroundWork();
    ASSERT_TRUE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    EXPECT_EQ(h.engine().status(),
              "Cannot read Still.png (Permission denied) \u00b7 Thumbnails ready \u2014 drag clips to the timeline");
}

// A project document carries no pictures, sizes or rates: an opened project's still and video
// cards get theirs from the files again, as at import.
TEST(SourceThumbnails, AnOpenedProjectsStillAndVideoCardsGetTheirPicturesSizesAndRates)
{
    WorkspaceHarness h;
    h.open(test::writeProject(h.folders.scratch(), true));
    h.runBackgroundWork();
    const EditSession::Source& still = sourceNamed(h.session(), "Still.png");
    ASSERT_TRUE(still.thumbnailData);
    EXPECT_EQ(QImage::fromData((*still.thumbnailData)->data(), static_cast<int>((*still.thumbnailData)->size())).size(),
              QSize(64, 48));
    EXPECT_TRUE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    std::vector<std::string> details;
    for (const EditorWorkspaceController::MediaPoolCard& card : h.workspace().mediaPoolCards())
        details.push_back(card.detail);
    EXPECT_EQ(details, (std::vector<std::string>{"160×96 · 25.00 fps", "64×48", ""}));
}

std::vector<std::string> cardDetails(const EditorWorkspaceController& w)
{
    std::vector<std::string> details;
    for (const EditorWorkspaceController::MediaPoolCard& card : w.mediaPoolCards())
        details.push_back(card.detail);
    return details;
}

// A project with a file missing makes no pictures until its media is relinked, so no card shows
// another file's picture or rate: once the real file is back and the folder chosen again, the
// card's poster and rate are the real file's.
TEST(SourceThumbnails, NoPicturesUntilTheMediaIsRelinkedThenTheRealFilesOwn)
{
    WorkspaceHarness h;
    const test::GeneratedProject project = test::writeProject(h.folders.scratch(), true);
    fs::rename(project.media / "DJI_0001.MP4", h.folders.scratch() / "DJI_0001.MP4");
    test::ClipSettings standIn;
    standIn.fpsNum = 24000;
    standIn.fpsDen = 1001;
    standIn.frameCount = 48;
    test::makeClip(project.media / "Other.mp4", standIn);
    h.open(project);
    h.runBackgroundWork();
    EXPECT_FALSE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    EXPECT_FALSE(sourceNamed(h.session(), "Still.png").thumbnailData);
    EXPECT_EQ(cardDetails(h.workspace()), (std::vector<std::string>{"", "", ""}));

    fs::rename(h.folders.scratch() / "DJI_0001.MP4", project.media / "DJI_0001.MP4");
    h.workspace().applyMediaFolder(project.media);
    h.settle();
    h.runBackgroundWork();
    EXPECT_TRUE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    EXPECT_EQ(cardDetails(h.workspace()), (std::vector<std::string>{"160×96 · 25.00 fps", "64×48", ""}));
}

// Pictures arriving for a project that is no longer open are dropped: they neither land in the
// new project nor bind it to the old project's folder and file.
// The ids of this process's threads now.
std::set<std::string> threadIds()
{
    std::set<std::string> ids;
    for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task"))
        ids.insert(task.path().filename().string());
    return ids;
}

// Threads of this process named `name`, started after `before` was taken, that are not exiting:
// only those can be work of what was made since. A thread that was joined may still be listed for
// a moment (longer on a loaded machine) while the kernel finishes its exit; the flag the kernel
// sets when the exit begins tells it apart from one still working.
int workingThreadsNamed(const std::string& name, const std::set<std::string>& before)
{
    constexpr unsigned long exiting = 0x4; // PF_EXITING
    int count = 0;
    for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task")) {
        if (before.count(task.path().filename().string()))
            continue;
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        const std::size_t afterName = stat.rfind(')');
        if (comm != name || afterName == std::string::npos)
            continue;
        // After the name: state, ppid, pgrp, session, tty_nr, tpgid, flags.
        std::istringstream fields(stat.substr(afterName + 1));
        std::string skipped;
        unsigned long flags = 0;
        for (int i = 0; i < 6; ++i)
            fields >> skipped;
        fields >> flags;
        count += (flags & exiting) ? 0 : 1;
    }
    return count;
}

// The workspace going (the window closing at quit) stops its poster-frame work, whatever moment
// of the import it comes at, and the application's end joins what is left (the window's closing
// does not wait for it): nothing is left encoding a picture while the application tears down.
TEST(SourceThumbnails, ClosingTheWorkspaceAtAnyMomentJoinsItsPosterFrameWork)
{
    test::UserFoldersScope folders;
    const fs::path card = folders.scratch() / "card";
    fs::create_directories(card);
    test::makeClip(card / "C0000.MP4", test::ClipSettings{});
    std::vector<fs::path> clips{card / "C0000.MP4"};
    for (int i = 1; i < 60; ++i) {
        clips.push_back(card / ("C" + std::to_string(1000 + i).substr(1) + ".MP4"));
        fs::copy_file(clips.front(), clips.back());
    }
    for (const int delayMs : {0, 1, 3, 10, 30, 60}) {
        const std::set<std::string> before = threadIds();
        {
            WorkspaceHarness h({WorkspaceHarness::Views::none, true, {}, true});
            h.workspace().processImportedFiles(clips);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        BackgroundWorker::joinLeftWork();
        EXPECT_EQ(workingThreadsNamed("velmora.thumbs", before), 0) << "closed " << delayMs << " ms after the import";
    }
}

TEST(SourceThumbnails, ResultsForAnotherProjectAreDropped)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch(), true);
    // Without a project a folder is only remembered.
    const std::string status = h.engine().status();
    w.applyMediaFolder(trip.media);
    EXPECT_EQ(h.engine().status(), status);
    EXPECT_TRUE(h.background->empty());
    h.open(trip);
    EXPECT_EQ(h.engine().status(), "Project loaded — media ready");
    ASSERT_EQ(h.background->size(), 1u);

    w.startNewProject();
    const fs::path newFolder = *w.mediaFolderURL();
    const std::optional<fs::path> lutFile = h.engine().lutSessionFileURL();
    h.runBackgroundWork();
    EXPECT_TRUE(h.session().sources.empty());
    EXPECT_EQ(h.engine().previewMediaFolder(), newFolder);
    EXPECT_EQ(h.engine().lutSessionFileURL(), lutFile);
    EXPECT_EQ(h.engine().status(), "New project — use Import in Media Pool to add clips");

    // Applying the folder that holds every file (the same one: a change all the same) asks
    // again. Two requests for one source: the first picture wins, the second changes nothing.
    h.open(trip);
    w.pickMediaFolderForRelink();
    h.panels->cancel();
    EXPECT_FALSE(w.projectDirty());
    w.applyMediaFolder(trip.media);
    EXPECT_EQ(h.engine().status(), "Media linked — timeline ready");
    EXPECT_TRUE(w.projectDirty());
    ASSERT_EQ(h.background->size(), 2u);
    h.runBackgroundWork();
    ASSERT_TRUE(sourceNamed(h.session(), "DJI_0001.MP4").thumbnailData);
    w.applyMediaFolder(trip.media); // nothing left to make
    EXPECT_TRUE(h.background->empty());

    // A workspace closed meanwhile: work it left behind makes nothing and posts nothing.
    std::vector<std::function<void()>> orphaned;
    std::shared_ptr<ManualMainQueue> closedQueue;
    {
        WorkspaceHarness closed;
        closed.open(trip);
        orphaned = *closed.background;
        closedQueue = closed.queue;
    }
    ASSERT_EQ(orphaned.size(), 1u);
    orphaned.front()();
    EXPECT_EQ(closedQueue->runUntilIdle(), 0);
}

} // namespace
} // namespace velmora
