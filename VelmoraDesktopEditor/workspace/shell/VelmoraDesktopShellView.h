#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "controls/VelmoraShellTab.h"
#include "workspace/shell/ShellWorkspaceFactories.h"

namespace velmora {

class VelmoraSegmentedPicker;
class VelmoraWorkflowState;

// The content of the application's one window: the "Mode" picker ("Edit", "10-bit Export") on
// a panel strip, and below it exactly one workspace, filling the rest. The shell owns the
// workflow state for its whole life; choosing the other mode (by the picker or through
// VelmoraWorkflowState::openExportTab) deletes the shown workspace, with everything it owns,
// and builds the other one afresh from its factory. Only the workflow state outlives a switch.
// The shown workspace has its say (VelmoraWorkflowState::requestExit) before the picker switches
// away from it and before the window closes (its close button, Ctrl+Q for Quit); a switch it
// declines leaves the picker on the shown mode, a close it declines keeps the window open.
// Main thread only.
class VelmoraDesktopShellView final : public QWidget {
    Q_OBJECT
public:
    // Called with the files the system hands to the application together (the command line's
    // files), in the order given.
    using OpenFileHandler = std::function<void(const std::vector<std::filesystem::path>& files)>;

    explicit VelmoraDesktopShellView(ShellWorkspaceFactories factories = ShellWorkspaceFactories::placeholders(),
                                     QWidget* parent = nullptr);
    ~VelmoraDesktopShellView() override;

    VelmoraWorkflowState& workflow() const { return *workflow_; }
    VelmoraSegmentedPicker* modePicker() const { return modePicker_; }
    // The workspace shown now; a replaced one is hidden at once and deleted once control
    // returns to the event loop (it may be the one whose button asked for the switch).
    QWidget* currentWorkspace() const { return workspace_; }
    VelmoraShellTab shownTab() const { return shownTab_; }

    // The one handler of files handed to the application; none ignores them.
    void setOpenFileHandler(OpenFileHandler handler) { openFileHandler_ = std::move(handler); }
    void openFiles(const std::vector<std::filesystem::path>& files);

signals:
    // A fresh workspace is shown.
    void workspaceReplaced(QWidget* workspace);
    // The window closed, its workspace agreeing: the application is to end.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showSelectedWorkspace();

    ShellWorkspaceFactories factories_;
    VelmoraWorkflowState* workflow_;
    VelmoraSegmentedPicker* modePicker_;
    QWidget* container_;
    QPointer<QWidget> workspace_;
    VelmoraShellTab shownTab_ = VelmoraShellTab::editor;
    OpenFileHandler openFileHandler_;
    // The workspace let the window go: the next close goes through without asking.
    bool closeApproved_ = false;
};

} // namespace velmora
