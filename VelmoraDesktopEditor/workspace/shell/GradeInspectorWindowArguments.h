#pragma once

#include <functional>
#include <string>
#include <vector>

#include "grading/ClipGradeEditState.h"

namespace velmora {

class TimelinePreviewEngine;

// Everything the grade inspector window's content is made with. Built by
// EditorWorkspaceController::openGradeInspector. Main thread only; the closures do nothing once
// the workspace is gone or the inspector was closed or replaced.
struct GradeInspectorWindowArguments {
    TimelinePreviewEngine* engine = nullptr; // the workspace's; outlives the window
    ClipGradeEditState initialEditState;
    std::string clipId;
    std::string clipName; // the clip's name, "Clip" without one
    std::vector<std::string> lutNames;
    // The inspector is finished: the workspace closes its window.
    std::function<void()> onDismiss;
    // The inspector changed the clip's grade: the project has unsaved changes.
    std::function<void()> onDirty;
};

} // namespace velmora
