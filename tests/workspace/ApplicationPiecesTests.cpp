#include <QApplication>
#include <QDialog>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "export_workspaces/EditorExportSheet.h"
#include "inspectors/GradeInspectorWindowRoot.h"
#include "inspectors/ProjectSettingsSheet.h"
#include "inspectors/SourceViewer.h"
#include "workspace/shell/ApplicationPieces.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;

// The application's pieces are the real views, bound to the workspace that made them.
TEST(ApplicationPieces, TheWorkspaceShowsTheRealLanesSheetsAndSettings)
{
    WorkspaceHarness h({WorkspaceHarness::Views::workspace, false, ApplicationPieces::make()});
    h.open(test::writeProject(h.folders.scratch()));

    auto* strip = h.view().findChild<TimelineStripView*>(QStringLiteral("TimelineStripView"));
    ASSERT_NE(strip, nullptr);
    // The lanes follow the engine's timeline and the workspace's lane height.
    ASSERT_TRUE(strip->model().timeline().has_value());
    EXPECT_EQ(strip->model().timeline()->clips.size(), h.session().activeTimeline()->clips.size());
    h.workspace().setLaneRowHeight(60);
    EXPECT_DOUBLE_EQ(strip->model().preferredLaneHeight(), 60);

    h.workspace().setShowExportSheet(true);
    EXPECT_NE(h.view().findChild<EditorExportSheet*>(), nullptr);
    h.workspace().setShowExportSheet(false);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(h.view().findChild<EditorExportSheet*>(), nullptr);

    h.workspace().setShowProjectSettings(true);
    ASSERT_NE(h.view().findChild<ProjectSettingsSheet*>(), nullptr);

    // A double click on a timeline clip opens the real source viewer; the inspector is real too.
    h.workspace().openSourceViewerForTimelineClip("v1");
    auto* viewer = h.view().findChild<SourceViewer*>();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->window()->windowTitle().toStdString(), "Source Viewer — DJI_0001.MP4 (Timeline)");
    h.workspace().openGradeInspector("v1");
    EXPECT_NE(h.view().findChild<GradeInspectorWindowRoot*>(), nullptr);
}

} // namespace
} // namespace velmora
