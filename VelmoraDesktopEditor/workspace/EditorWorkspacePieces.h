#pragma once

#include <functional>
#include <optional>
#include <string>

#include "model/EditSession.h"
#include "preview/TimelinePreviewEngine.h"

class QWidget;

namespace velmora {

class EditorWorkspaceController;

// The pieces of the Edit workspace that are built elsewhere, each made by a factory the
// workspace calls with its controller (which holds the engine and every piece of workspace
// state). An empty factory gets a stand-in: a plain view carrying the piece's name.
//
// Placed views are made once, when the workspace is made, as children of `parent`. Sheets and
// windows are made each time their flag rises or their request arrives, as windows that are
// children of `parent` (the workspace: they go with it, and sheets are modal to its window); the
// workspace shows them, closes and deletes them when their flag falls, and lowers a sheet's flag
// when the user closes it.
struct EditorWorkspacePieces {
    using ViewFactory = std::function<QWidget*(EditorWorkspaceController& workspace, QWidget* parent)>;
    using SourceViewerFactory = std::function<QWidget*(EditorWorkspaceController& workspace,
                                                       const EditSession::Source& source,
                                                       const std::optional<std::string>& timelineClipId, QWidget* parent)>;

    // The program monitor inside the preview area: the graded program view of the engine
    // (not lightweight, not the clean feed). Kept at the canvas aspect, centred on black.
    ViewFactory programView;
    // The timeline lanes of the active timeline. The workspace frames it to
    // workspace.timelineStripHeight(); its callbacks go to the engine and to
    // workspace.clipDroppedOnTrack and workspace.openSourceViewerForTimelineClip.
    ViewFactory timelineStrip;
    // The content of the row above the lanes (timeline name and picker, lanes, zoom, height).
    ViewFactory timelineHeader;
    // The media pool column (shown while workspace.showMediaPool()).
    ViewFactory mediaPool;
    // The banner inviting an import into a project without sources, shown while the project has
    // no sources and workspace.importHintDismissed() is false.
    ViewFactory importHintBanner;
    // Sheets: the export sheet (dismissed with workspace.setShowExportSheet(false)) and the
    // project settings sheet (applied: workspace.setProjectDirty(true); dismissed:
    // workspace.setShowProjectSettings(false)).
    ViewFactory exportSheet;
    ViewFactory projectSettingsSheet;
    // The grade inspector window on workspace.gradeInspectorClipId() with
    // workspace.gradeEditState() (finished: workspace.closeGradeInspector(); changed a grade:
    // workspace.setProjectDirty(true)).
    ViewFactory gradeInspectorWindow;
    // The source viewer window on a source, for re-trimming the timeline clip when an id is
    // given (closed: workspace.closeSourceViewer()).
    SourceViewerFactory sourceViewerWindow;
    // Opens (or brings forward) the clean-feed program monitor for the engine's "Clean Feed F"
    // button and F key; none leaves them without a window.
    TimelinePreviewEngine::CleanFeedWindowOpener cleanFeedWindow;

    // These pieces with a stand-in for every empty factory.
    EditorWorkspacePieces withStandIns() const;
};

} // namespace velmora
