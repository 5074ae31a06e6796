#pragma once

#include "workspace/EditorWorkspacePieces.h"

namespace velmora::ApplicationPieces {

// The Edit workspace's pieces as the application shows them: the graded program view, the
// timeline lanes, the export sheet, the clean-feed window, and whichever other pieces exist,
// each bound to the workspace's controller and engine.
EditorWorkspacePieces make();

// The timeline lanes of the workspace's active timeline, kept in step with the engine and the
// workspace's lane settings.
QWidget* makeTimelineStrip(EditorWorkspaceController& workspace, QWidget* parent);

} // namespace velmora::ApplicationPieces
