#include <QImage>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
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
    const QImage picture = QImage::fromData(video.thumbnailData->data(), static_cast<int>(video.thumbnailData->size()));
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

// Pictures arriving for a project that is no longer open are dropped: they neither land in the
// new project nor bind it to the old project's folder and file.
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

    // A workspace closed meanwhile: the results arrive to no one.
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
    EXPECT_GE(closedQueue->runUntilIdle(), 1);
}

} // namespace
} // namespace velmora
