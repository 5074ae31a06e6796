#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "support/MediaFixtures.h"
#include "workspace/shell/ApplicationPieces.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/pool/MediaPoolGrid.h"
#include "workspace/pool/MediaPoolView.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

// "type start+duration@lane" of every clip of the active timeline.
std::vector<std::string> layout(const EditSession& session)
{
    std::vector<std::string> rows;
    const std::optional<EditSession::Timeline> timeline = session.activeTimeline();
    for (const EditSession::Clip& clip : timeline->clips) {
        rows.push_back(clip.type.value_or("?") + " " + clip.name.value_or("") + " " +
                       std::to_string(clip.startTime.value_or(-1)).substr(0, 4) + "+" +
                       std::to_string(clip.duration.value_or(-1)).substr(0, 4) + "@" +
                       std::to_string(clip.track.value_or(0)));
    }
    return rows;
}

// From an empty editor to a saved project: import two clips from a card, take their frame rate,
// place both on the timeline from the media pool, save, and open the project in another
// workspace.
TEST(EditWorkspaceDrive, ImportPlaceSaveAndReopen)
{
    const test::TempDir files;
    const fs::path card = files.path() / "card";
    fs::create_directories(card);
    test::ClipSettings clip;
    clip.frameCount = 50; // 2 s at 25 fps
    clip.audio = true;
    test::makeClip(card / "A001.MP4", clip);
    test::makeClip(card / "A002.MP4", clip);

    std::vector<SourceViewerWindowArguments> viewers;
    EditorWorkspacePieces pieces = ApplicationPieces::make();
    pieces.sourceViewerWindow = [&](const SourceViewerWindowArguments& arguments, QWidget* parent) {
        viewers.push_back(arguments);
        return new QWidget(parent);
    };
    // The media folder lives in this workspace's user folders: it stays while the project is
    // opened again.
    WorkspaceHarness h({WorkspaceHarness::Views::workspace, true, pieces});
    fs::path saved;
    std::vector<std::string> placed;
    {
        EditorWorkspaceController& w = h.workspace();
        h.view().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.view()));
        auto* pool = h.view().findChild<MediaPoolView*>();
        ASSERT_NE(pool, nullptr);

        QTest::mouseClick(pool->importButton(), Qt::LeftButton);
        h.panels->choose({card / "A001.MP4", card / "A002.MP4"});
        EXPECT_EQ(h.engine().status(), "Added 2 clip(s) to media pool — double-click to open, or drag to timeline");
        h.settle();

        // The frame-rate question, answered with the clip's rate.
        h.queue->runUntilIdle();
        QMessageBox* question = h.view().frameRateQuestionBox();
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(question->text(), "Match project frame rate to clip?");
        QAbstractButton* use = nullptr;
        for (QAbstractButton* button : question->buttons())
            use = button->text() == "Use 25 fps" ? button : use;
        ASSERT_NE(use, nullptr);
        QTest::mouseClick(use, Qt::LeftButton);
        EXPECT_EQ(h.session().project->fps, 25.0);
        EXPECT_EQ(h.view().frameRateQuestionBox(), nullptr);

        // Poster frames for both cards.
        h.runBackgroundWork();
        MediaPoolGrid& grid = *pool->grid();
        ASSERT_EQ(grid.cards().size(), 2u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return grid.showsPicture(0) && grid.showsPicture(1); }));

        // Each card opened in the source viewer and its range added to the timeline.
        QTest::mouseDClick(&grid, Qt::LeftButton, {}, grid.cardRect(0).center());
        ASSERT_EQ(viewers.size(), 1u);
        EXPECT_EQ(h.view().sourceViewerWindow()->windowTitle(), "Source Viewer - A001.MP4");
        viewers.back().onAddToTimeline(0, 1.5, "None");
        QTest::mouseDClick(&grid, Qt::LeftButton, {}, grid.cardRect(1).center());
        ASSERT_EQ(viewers.size(), 2u);
        viewers.back().onAddToTimeline(0.5, 2, "None");
        h.settle();
        placed = layout(h.session());
        EXPECT_EQ(placed, (std::vector<std::string>{"video A001.MP4 0.00+1.50@1", "audio A001.MP4 (Audio) 0.00+1.50@1",
                                                    "video A002.MP4 1.50+1.50@1",
                                                    "audio A002.MP4 (Audio) 1.50+1.50@1"}));
        EXPECT_TRUE(grid.cards()[1].selected); // the last clip placed is selected

        QTest::mouseClick(h.view().topBar()->commandButton("Save"), Qt::LeftButton);
        fs::create_directories(files.path() / "projects");
        h.panels->choose(files.path() / "projects" / "Holiday.tavlek");
        ASSERT_FALSE(w.showError()) << w.errorText();
        EXPECT_FALSE(w.projectDirty());
        saved = files.path() / "projects" / "Holiday.tavlek";
        EXPECT_EQ(w.mediaFolderURL(), h.folders.videos() / "Velmora Desktop" / "Untitled Project_media");
    }

    WorkspaceHarness reopened;
    reopened.workspace().handleOpenURL(saved);
    reopened.settle();
    ASSERT_TRUE(reopened.workspace().hasProject()) << reopened.workspace().errorText();
    EXPECT_EQ(reopened.engine().status(), "Project loaded — media ready");
    EXPECT_EQ(layout(reopened.session()), placed);
    EXPECT_EQ(reopened.session().project->name, "Holiday");
    EXPECT_EQ(reopened.session().project->fps, 25.0);
    EXPECT_EQ(reopened.session().sources.size(), 2u);
    EXPECT_FALSE(reopened.workspace().projectDirty());
    reopened.runBackgroundWork();
    EXPECT_TRUE(reopened.session().sources[0].thumbnailData);
}

} // namespace
} // namespace velmora
