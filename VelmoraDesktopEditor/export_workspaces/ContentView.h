#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

#include "export_workspaces/ExportWorkspaceServices.h"

class QLabel;
class QMessageBox;
class QPushButton;

namespace velmora {

class BusyIndicator;
class ExportDropZone;
class ExportPreviewPane;
class ExportWorkspaceController;
class GroupPanel;
class OutputSettingsRows;
class VelmoraWorkflowState;

// The "10-bit Export" workspace (objectName "ContentView"): the settings column on the left
// (header, drop zone, job, footage or input, output and its settings, the export row and the
// status line) and the graded preview on the right. A thin view over its
// ExportWorkspaceController, which it owns; it redraws from the controller's signals and turns
// the controller's error flag into a non-blocking "Export Failed" box, and its quit question into
// a non-blocking "Stop the export and quit?" box.
//
// The version line reads QCoreApplication::applicationVersion() and the application object's
// "buildVersion" property; a missing one shows as "?".
class ContentView final : public QWidget {
    Q_OBJECT
public:
    // With the desktop's services (export engine, Qt file panels, file manager reveal).
    explicit ContentView(VelmoraWorkflowState& workflow, QWidget* parent = nullptr);
    // With the given services (tests).
    ContentView(VelmoraWorkflowState& workflow, ExportWorkspaceServices services, QWidget* parent = nullptr);
    ~ContentView() override;

    ExportWorkspaceController& controller() const { return *controller_; }

protected:
    // Each time the workspace comes on screen it takes over the Edit workspace's hand-over.
    void showEvent(QShowEvent* event) override;

private:
    // Lays the widgets out and binds them to the controller.
    void build();
    void buildLayout();
    QWidget* buildLeftColumn();
    void sync();
    void syncErrorAlert();
    void syncQuitQuestion();
    void syncReplaceQuestion();
    // Shows (`asked`) or closes a non-blocking question held in `slot`; `answer` gets whether the
    // first button was clicked (closing the box otherwise counts as the second, "Cancel").
    void syncQuestion(QPointer<QMessageBox>& slot, bool asked, const QString& objectName, const QString& title,
                      const QString& acceptButton, const QString& cancelButton,
                      const std::function<void(bool)>& answer);

    ExportWorkspaceController* controller_ = nullptr;
    ExportDropZone* dropZone_ = nullptr;
    QLabel* jobKind_ = nullptr;
    QLabel* jobFile_ = nullptr;
    GroupPanel* footageGroup_ = nullptr;
    QLabel* mediaFolder_ = nullptr;
    GroupPanel* inputGroup_ = nullptr;
    QLabel* inputFile_ = nullptr;
    QLabel* lutFile_ = nullptr;
    QLabel* outputFile_ = nullptr;
    OutputSettingsRows* settings_ = nullptr;
    QPushButton* export_ = nullptr;
    BusyIndicator* exportBusy_ = nullptr;
    QPushButton* reveal_ = nullptr;
    QLabel* status_ = nullptr;
    ExportPreviewPane* preview_ = nullptr;
    QPointer<QMessageBox> errorAlert_;
    QPointer<QMessageBox> quitQuestionBox_;
    QPointer<QMessageBox> replaceQuestionBox_;
};

} // namespace velmora
