#pragma once

#include <functional>
#include <string>

#include "preview/TimelinePreviewEngine.h"
#include "workspace/shell/GradeInspectorWindowArguments.h"
#include "workspace/shell/SourceViewerWindowArguments.h"

class QWidget;

namespace velmora {

class EditorWorkspaceController;

// The pieces of the Edit workspace, each made by a factory the workspace calls with its
// controller (which holds the engine and every piece of workspace state). An empty factory gets
// the workspace's own view for the timeline header, the media pool and the import hint banner,
// and for the pieces built in other layers a stand-in: a plain view carrying the piece's name.
//
// Placed views are made once, when the workspace is made, as children of `parent`. Sheets are
// made each time their flag rises, as windows that are children of `parent` (the workspace: they
// go with it, and they are modal to its window); the workspace shows them, closes and deletes
// them when their flag falls, and lowers a sheet's flag when the user closes it.
//
// The two tool windows' contents are made each time the workspace opens the window, as the only
// child of a window the workspace made, titled, sized and placed (`parent`); the content never
// closes its window, it calls the closures it is given and the workspace closes the window.
struct EditorWorkspacePieces {
    using ViewFactory = std::function<QWidget*(EditorWorkspaceController& workspace, QWidget* parent)>;
    using SourceViewerFactory = std::function<QWidget*(const SourceViewerWindowArguments& arguments, QWidget* parent)>;
    using GradeInspectorFactory =
        std::function<QWidget*(const GradeInspectorWindowArguments& arguments, QWidget* parent)>;

    // The program monitor inside the preview area: the graded program view of the engine
    // (not lightweight, not the clean feed). Kept at the canvas aspect, centred on black.
    ViewFactory programView;
    // The timeline lanes of the active timeline. The workspace frames it to
    // workspace.timelineStripHeight(); its callbacks go to the engine and to
    // workspace.clipDroppedOnTrack and workspace.openSourceViewerForTimelineClip.
    ViewFactory timelineStrip;
    // The content of the row above the lanes (timeline name and picker, lanes, zoom, height).
    ViewFactory timelineHeader;
    // The media pool column's content (the column shows while workspace.showMediaPool()).
    ViewFactory mediaPool;
    // The content of the banner row inviting an import into a project without sources (the row
    // shows while workspace.importHintShown()).
    ViewFactory importHintBanner;
    // Sheets: the export sheet (dismissed with workspace.setShowExportSheet(false)) and the
    // project settings sheet (applied: workspace.setProjectDirty(true); dismissed:
    // workspace.setShowProjectSettings(false)).
    ViewFactory exportSheet;
    ViewFactory projectSettingsSheet;
    // The content of the "Mood & Basic Grade" window: the application's is
    // GradeInspectorWindowRoot made from the arguments. The window is at least 400 × 580 and
    // grows to the content's minimum size.
    GradeInspectorFactory gradeInspectorWindow;
    // The content of the source viewer window (800 × 550, resizable): the application's is
    // SourceViewer made from the arguments.
    SourceViewerFactory sourceViewerWindow;
    // Opens (or brings forward) the clean-feed program monitor for the engine's "Clean Feed F"
    // button and F key; none leaves them without a window.
    TimelinePreviewEngine::CleanFeedWindowOpener cleanFeedWindow;

    // These pieces with a default for every empty factory.
    EditorWorkspacePieces withStandIns() const;
};

} // namespace velmora
