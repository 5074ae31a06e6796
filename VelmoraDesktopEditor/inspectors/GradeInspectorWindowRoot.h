#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "grading/ClipGradeEditState.h"

namespace velmora {

class ClipGradeInspectorSheet;
class GradeInspectorWindowController;
class TimelinePreviewEngine;

// The content of the floating "Mood & Basic Grade" window: the clip grade inspector over the
// window's own edit state, wired to the engine (GradeInspectorWindowController). Its size is
// the inspector's, 380 × 620, fixed: the owner sizes the window's content to contentSize() so
// that nothing (the footer with "Reset" in particular) is cut off.
//
// It never closes its window: "Done" reaches onDismiss unchanged, and the owner closes the
// window. onDirty is called after every live change. Main thread only.
class GradeInspectorWindowRoot final : public QWidget {
    Q_OBJECT
public:
    GradeInspectorWindowRoot(TimelinePreviewEngine& engine, ClipGradeEditState initialEditState, std::string clipId,
                             std::string clipName, std::vector<std::string> lutNames, std::function<void()> onDismiss,
                             std::function<void()> onDirty, QWidget* parent = nullptr);
    ~GradeInspectorWindowRoot() override;

    // The window's content size.
    static QSize contentSize();

    const std::string& clipId() const;
    const std::string& clipName() const { return clipName_; }
    const std::vector<std::string>& lutNames() const { return lutNames_; }
    const std::function<void()>& onDismiss() const { return onDismiss_; }
    const std::function<void()>& onDirty() const { return onDirty_; }

    GradeInspectorWindowController& controller() const { return *controller_; }
    ClipGradeInspectorSheet& sheet() const { return *sheet_; }

private:
    std::string clipName_;
    std::vector<std::string> lutNames_;
    std::function<void()> onDismiss_;
    std::function<void()> onDirty_;
    GradeInspectorWindowController* controller_;
    ClipGradeInspectorSheet* sheet_;
};

} // namespace velmora
