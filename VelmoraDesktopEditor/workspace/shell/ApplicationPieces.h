#pragma once

#include "workspace/shell/EditorWorkspacePieces.h"

namespace velmora::ApplicationPieces {

// The Edit workspace's pieces from the other layers, as the application shows them: the graded
// program view, the timeline lanes, the export and settings sheets, the source viewer and grade
// inspector windows and the clean-feed window, each bound to the workspace's controller and
// engine. The timeline header, media pool and import hint banner are the workspace's own.
EditorWorkspacePieces make();

// The timeline lanes of the workspace's active timeline, kept in step with the engine and the
// workspace's lane settings.
QWidget* makeTimelineStrip(EditorWorkspaceController& workspace, QWidget* parent);

} // namespace velmora::ApplicationPieces
