#pragma once

#include <filesystem>
#include <optional>

#include <QObject>

#include "controls/VelmoraShellTab.h"

namespace velmora {

// The hand-over between the two workspaces, held by the window for its whole life: which
// workspace is shown, and the render job (with its media folder) that the Edit workspace
// passes to the 10-bit Export workspace. Main thread only. Every setter notifies, also when the
// value is unchanged.
class VelmoraWorkflowState final : public QObject {
    Q_OBJECT
public:
    explicit VelmoraWorkflowState(QObject* parent = nullptr) : QObject(parent) {}

    VelmoraShellTab selectedTab() const { return selectedTab_; }
    const std::optional<std::filesystem::path>& exportJobURL() const { return exportJobURL_; }
    const std::optional<std::filesystem::path>& exportMediaFolderURL() const { return exportMediaFolderURL_; }

    void setSelectedTab(VelmoraShellTab tab);
    void setExportJobURL(std::optional<std::filesystem::path> url);
    void setExportMediaFolderURL(std::optional<std::filesystem::path> url);

    // Job first, then the folder, then the tab, so the 10-bit Export workspace is created with
    // both already in place.
    void openExportTab(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& mediaFolder);
    // Forgets the handed-over job and folder; the tab stays.
    void clearExportHandoff();

signals:
    void selectedTabChanged();
    void exportJobURLChanged();
    void exportMediaFolderURLChanged();

private:
    VelmoraShellTab selectedTab_ = VelmoraShellTab::editor;
    std::optional<std::filesystem::path> exportJobURL_;
    std::optional<std::filesystem::path> exportMediaFolderURL_;
};

} // namespace velmora
