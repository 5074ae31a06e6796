#pragma once

#include <functional>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/shell/EditorWorkspacePieces.h"
#include "workspace/shell/ShellWorkspaceFactories.h"

class QLabel;

class QSplitter;

namespace velmora {

class ClipPickerBar;
class EditToolsBar;
class EditorKeyboardMonitorView;
class EditorTopBar;
class PlaybackBar;
class PreviewArea;

// The "Edit" workspace: the widget bound to an EditorWorkspaceController, which it owns (and with
// it the workspace's engine) for as long as the workspace is shown. The media pool column
// beside the main column (top bar, import hint, program area, transport, edit tools, clip
// picker, timeline header, timeline lanes, bottom hint), the key monitor behind everything,
// Ctrl+S for Save, and the boxes, sheets and tool windows that the controller's flags and
// requests call for, as non-blocking dialogs. Never narrower than 1120 or lower than 520.
// Main thread only.
class EditorContentView final : public QWidget {
    Q_OBJECT
public:
    // Empty file panels or reveal get the desktop's own (Qt's panels over this workspace, the
    // freedesktop file manager); empty pieces get stand-ins.
    EditorContentView(VelmoraWorkflowState& workflow, EditorWorkspaceController::Services services,
                      const EditorWorkspacePieces& pieces = {}, QWidget* parent = nullptr);

    // The shell's factory of this workspace.
    static ShellWorkspaceFactories::Factory factory(EditorWorkspaceController::Services services,
                                                    EditorWorkspacePieces pieces = {});

    EditorWorkspaceController& controller() const { return *controller_; }

    EditorTopBar* topBar() const { return topBar_; }
    PreviewArea* previewArea() const { return previewArea_; }
    PlaybackBar* playbackBar() const { return playbackBar_; }
    EditToolsBar* editToolsBar() const { return editToolsBar_; }
    ClipPickerBar* clipPickerBar() const { return clipPickerBar_; }
    QWidget* mediaPoolColumn() const { return mediaPoolColumn_; }
    QWidget* importHintRow() const { return importHintRow_; }
    QWidget* showMediaPoolRow() const { return showMediaPoolRow_; }
    QWidget* timelineHeaderRow() const { return timelineHeaderRow_; }
    QWidget* timelineStripHost() const { return timelineStripHost_; }
    QLabel* bottomHint() const { return bottomHint_; }
    EditorKeyboardMonitorView* keyboardMonitor() const { return keyboardMonitor_; }

    // What is presented now; none while its flag is down.
    QMessageBox* errorAlert() const { return errorAlert_; }
    QMessageBox* relinkAlert() const { return relinkAlert_; }
    QMessageBox* discardDialog() const { return discardDialog_; }
    QMessageBox* frameRateQuestionBox() const { return frameRateQuestionBox_; }
    QWidget* exportSheet() const { return exportSheet_; }
    QWidget* projectSettingsSheet() const { return projectSettingsSheet_; }
    QWidget* gradeInspectorWindow() const { return gradeInspectorWindow_; }
    QWidget* sourceViewerWindow() const { return sourceViewerWindow_; }

    // The bottom bar's hint for the grade switch's state.
    static QString bottomHintText(bool gradePreviewEnabled);
    // Where the grade inspector window's frame opens: 48 right of the main window's left edge,
    // its top edge 40 below the main window's top edge.
    static QPoint gradeInspectorPosition(const QRect& mainWindowFrame);
    // The source viewer window's content size, and the grade inspector window's for a content
    // that does not fix its own size (a fixed-size content sizes the window exactly).
    static constexpr QSize sourceViewerSize{800, 550};
    static constexpr QSize gradeInspectorSize{400, 580};

private:
    QWidget* buildMainColumn(const EditorWorkspacePieces& pieces);
    void refreshRows();
    // Opens the box `make` builds while `shown`, closes it otherwise; `answered` runs with the
    // role of the user's button once the user closed it.
    void presentBox(QPointer<QMessageBox>& slot, bool shown, const std::function<QMessageBox*()>& make,
                    std::function<void(QMessageBox::ButtonRole answer)> answered);
    void syncErrorAlert();
    void syncRelinkAlert();
    void syncDiscardDialog();
    void syncFrameRateQuestion();
    // Opens the sheet `make` builds while `shown`, closes it otherwise; `dismiss` lowers the flag
    // when the user closes the sheet.
    void syncSheet(QPointer<QWidget>& slot, bool shown, const EditorWorkspacePieces::ViewFactory& make,
                   const std::function<void()>& dismiss);
    void openGradeInspectorWindow(const GradeInspectorWindowArguments& arguments);
    void openSourceViewerWindow(SourceViewerWindowArguments arguments);
    // A sheet from a factory, made a window owned by this workspace.
    QWidget* ownedWindow(QWidget* window);
    // Centres a window on the screen this workspace is on.
    void centreOnScreen(QWidget& window) const;

    EditorWorkspaceController* controller_;
    EditorWorkspacePieces pieces_;
    QSplitter* split_ = nullptr;
    QWidget* mediaPoolColumn_ = nullptr;
    EditorTopBar* topBar_ = nullptr;
    QWidget* importHintRow_ = nullptr;
    PreviewArea* previewArea_ = nullptr;
    PlaybackBar* playbackBar_ = nullptr;
    EditToolsBar* editToolsBar_ = nullptr;
    QWidget* showMediaPoolRow_ = nullptr;
    ClipPickerBar* clipPickerBar_ = nullptr;
    QWidget* timelineHeaderRow_ = nullptr;
    QWidget* timelineStripHost_ = nullptr;
    QLabel* bottomHint_ = nullptr;
    EditorKeyboardMonitorView* keyboardMonitor_ = nullptr;

    QPointer<QMessageBox> errorAlert_;
    QPointer<QMessageBox> relinkAlert_;
    QPointer<QMessageBox> discardDialog_;
    QPointer<QMessageBox> frameRateQuestionBox_;
    QPointer<QWidget> exportSheet_;
    QPointer<QWidget> projectSettingsSheet_;
    QPointer<QWidget> gradeInspectorWindow_;
    QPointer<QWidget> sourceViewerWindow_;
};

} // namespace velmora
