#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

// Window factories that keep what the workspace hands them, with contents of a chosen least size.
struct FakeWindows {
    std::vector<SourceViewerWindowArguments> viewers;
    std::vector<GradeInspectorWindowArguments> inspectors;
    QSize inspectorContentSize{200, 200};
    bool fixedInspectorContent = true;

    EditorWorkspacePieces pieces()
    {
        EditorWorkspacePieces pieces;
        pieces.sourceViewerWindow = [this](const SourceViewerWindowArguments& arguments, QWidget* parent) {
            viewers.push_back(arguments);
            return new QWidget(parent);
        };
        pieces.gradeInspectorWindow = [this](const GradeInspectorWindowArguments& arguments, QWidget* parent) {
            inspectors.push_back(arguments);
            auto* content = new QWidget(parent);
            if (fixedInspectorContent)
                content->setFixedSize(inspectorContentSize);
            else
                content->setMinimumSize(inspectorContentSize);
            return content;
        };
        return pieces;
    }
};

struct ToolWindowsTest : ::testing::Test {
    FakeWindows windows;
    std::unique_ptr<WorkspaceHarness> h;
    test::GeneratedProject project;

    void SetUp() override
    {
        h = std::make_unique<WorkspaceHarness>(
            WorkspaceHarness::Options{WorkspaceHarness::Views::workspace, true, windows.pieces()});
        project = test::writeProject(h->folders.scratch());
        h->open(project);
    }
    EditorWorkspaceController& w() const { return h->workspace(); }
    EditorContentView& view() const { return h->view(); }
};

TEST_F(ToolWindowsTest, TheSourceViewerGetsItsTitleSizeMarksAndLiveClosures)
{
    // From the pool: a hyphen, no clip, no marks.
    w().openPoolSource("src-still");
    ASSERT_NE(view().sourceViewerWindow(), nullptr);
    EXPECT_EQ(view().sourceViewerWindow()->windowTitle(), "Source Viewer - Still.png");
    EXPECT_EQ(view().sourceViewerWindow()->size(), QSize(800, 550));
    const SourceViewerWindowArguments pool = windows.viewers.at(0);
    EXPECT_EQ(pool.engine, &h->engine());
    EXPECT_EQ(pool.source.fileName, "Still.png");
    EXPECT_EQ(pool.mediaFolderURL, project.media);
    EXPECT_EQ(pool.sessionFile, project.file);
    EXPECT_FALSE(pool.timelineClipId || pool.initialInPoint || pool.initialOutPoint);

    // From a timeline clip with in point 2, no out point, 3 s long: marks 2 and 5.
    EditSession::Clip& v1 = h->session().timelines[0].clips[0];
    v1.inPoint = 2.0;
    v1.outPoint.reset();
    v1.duration = 3.0;
    w().openSourceViewerForTimelineClip("v1");
    const SourceViewerWindowArguments clip = windows.viewers.at(1);
    EXPECT_EQ(clip.timelineClipId, "v1");
    EXPECT_EQ(clip.initialInPoint, 2.0);
    EXPECT_EQ(clip.initialOutPoint, 5.0);

    // The replaced viewer's closures no longer reach the workspace.
    w().setProjectDirty(false);
    pool.onLutChanged();
    pool.onClose();
    EXPECT_FALSE(w().projectDirty());
    EXPECT_NE(view().sourceViewerWindow(), nullptr);
    clip.onLutChanged();
    EXPECT_TRUE(w().projectDirty());

    // Closed from its title bar, the window is only hidden and nothing is reported.
    view().sourceViewerWindow()->close();
    EXPECT_NE(view().sourceViewerWindow(), nullptr);
    EXPECT_EQ(w().sourceViewerTimelineClipId(), "v1");
    EXPECT_FALSE(clip.isWindowKey());
}

TEST_F(ToolWindowsTest, TheViewersHandOversEditTheTimelineAndCloseIt)
{
    // Update the timeline clip: re-trimmed with the LUT, then closed.
    w().openSourceViewerForTimelineClip("v1");
    w().setProjectDirty(false);
    windows.viewers.back().onUpdateTimeline(1, 3, "Warm.cube");
    EXPECT_EQ(view().sourceViewerWindow(), nullptr);
    EXPECT_FALSE(w().sourceViewerTimelineClipId());
    const EditSession::Clip v1 = *h->session().clip("v1");
    EXPECT_EQ(v1.inPoint, 1.0);
    EXPECT_EQ(v1.duration, 2.0);
    EXPECT_EQ(v1.grade->lutFile, "Warm.cube");
    EXPECT_TRUE(w().projectDirty());

    // Add to the timeline appends the range at the end.
    const std::size_t count = h->session().activeTimeline()->clips.size();
    w().openPoolSource("src-video");
    windows.viewers.back().onAddToTimeline(0, 1.5, "None");
    std::vector<EditSession::Clip> clips = h->session().activeTimeline()->clips;
    ASSERT_EQ(clips.size(), count + 2);
    EXPECT_EQ(clips[count].startTime, 6.0);
    EXPECT_EQ(view().sourceViewerWindow(), nullptr);

    // Insert at the playhead: a range under 0.1 s is placed 0.1 s long and the playhead ends
    // up after it.
    h->settle();
    h->engine().seek(1.0, true, {});
    w().openPoolSource("src-still");
    windows.viewers.back().onInsertAtPlayhead(0, 0.02, "None");
    h->settle();
    clips = h->session().activeTimeline()->clips;
    EXPECT_EQ(clips.back().startTime, 1.0);
    EXPECT_DOUBLE_EQ(*clips.back().duration, 0.1);
    EXPECT_NEAR(h->engine().playheadSeconds(), 1.1, 0.021);
    EXPECT_EQ(view().sourceViewerWindow(), nullptr);
}

TEST_F(ToolWindowsTest, TheInspectorFloatsBesideTheMainWindowAndClosesThroughItsClosures)
{
    view().show();
    view().move(100, 50);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view()));
    w().openGradeInspector("still");
    QWidget* inspector = view().gradeInspectorWindow();
    ASSERT_NE(inspector, nullptr);
    EXPECT_EQ(inspector->windowTitle(), "Mood & Basic Grade");
    EXPECT_TRUE(inspector->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(inspector->size(), QSize(200, 200)); // a fixed-size content is the window's content
    EXPECT_EQ(inspector->frameGeometry().topLeft(),
              EditorContentView::gradeInspectorPosition(view().frameGeometry()));
    windows.fixedInspectorContent = false;
    w().openGradeInspector("still");
    inspector = view().gradeInspectorWindow();
    EXPECT_EQ(inspector->size(), QSize(400, 580)); // any other content gets the standard size
    EXPECT_EQ(inspector->frameGeometry().topLeft(),
              EditorContentView::gradeInspectorPosition(view().frameGeometry()));
    EXPECT_EQ(EditorContentView::gradeInspectorPosition(QRect(100, 50, 1280, 900)), QPoint(148, 90));
    const GradeInspectorWindowArguments still = windows.inspectors.back();
    EXPECT_EQ(still.clipId, "still");
    EXPECT_EQ(still.clipName, "Still.png");
    EXPECT_EQ(still.lutNames, h->engine().availableLutNames());
    EXPECT_EQ(still.initialEditState, w().gradeEditState());

    // The inspector's own 380 × 620 content; the replaced inspector's closures do nothing.
    windows.fixedInspectorContent = true;
    windows.inspectorContentSize = {380, 620};
    h->session().timelines[0].clips[0].name.reset();
    w().openGradeInspector("v1");
    EXPECT_EQ(view().gradeInspectorWindow()->size(), QSize(380, 620));
    EXPECT_EQ(windows.inspectors.back().clipName, "Clip");
    w().setProjectDirty(false);
    still.onDirty();
    EXPECT_FALSE(w().projectDirty());
    windows.inspectors.back().onDirty();
    EXPECT_TRUE(w().projectDirty());

    windows.inspectors.back().onDismiss();
    EXPECT_EQ(view().gradeInspectorWindow(), nullptr);
    EXPECT_FALSE(w().showGradeInspector());
    EXPECT_FALSE(w().gradeInspectorClipId());
}

} // namespace
} // namespace velmora
