#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include <QObject>
#include <QPointer>

#include "controls/VelmoraShellTab.h"
#include "model/ResolvedMedia.h"
#include "platform/foundation/ScratchFile.h"

namespace velmora {

// The hand-over between the two workspaces, held by the window for its whole life: which
// workspace is shown, and the render job (with its media folder) that the Edit workspace
// passes to the 10-bit Export workspace. It also carries the shown workspace's say before the
// user makes it go (another mode chosen, the window closed): the workspace may ask first and
// keep itself. Main thread only. Every setter notifies, also when the value is unchanged.
class VelmoraWorkflowState final : public QObject {
    Q_OBJECT
public:
    // Why the shown workspace is asked to go.
    enum class WorkspaceExit { switchMode, quit };
    // A workspace's answer to an exit: it runs `proceed` at once, later (after asking the user),
    // or never (the user kept the workspace). `proceed` is safe to run after this object is gone.
    using ExitGuard = std::function<void(WorkspaceExit exit, std::function<void()> proceed)>;

    explicit VelmoraWorkflowState(QObject* parent = nullptr) : QObject(parent) {}
    ~VelmoraWorkflowState() override;

    VelmoraShellTab selectedTab() const { return selectedTab_; }
    const std::optional<std::filesystem::path>& exportJobURL() const { return exportJobURL_; }
    const std::optional<std::filesystem::path>& exportMediaFolderURL() const { return exportMediaFolderURL_; }

    void setSelectedTab(VelmoraShellTab tab);
    void setExportJobURL(std::optional<std::filesystem::path> url);
    void setExportMediaFolderURL(std::optional<std::filesystem::path> url);

    // Job first, then the folder, then the tab, so the 10-bit Export workspace is created with
    // both already in place. A job file the user chose is kept.
    void openExportTab(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& mediaFolder);
    // The same for a job file written for the hand-over (writeHandoffJob; not null), which this
    // state then owns: it is removed, and its lock dropped, when another job replaces it, the
    // hand-over is cleared, or this state goes with its window.
    // `resolved` holds the files the editor's monitor showed for the job's sources: the workspace
    // reads exactly those for this job (its file names them by name only).
    void openExportTab(std::unique_ptr<ClaimedScratchFile> scratchJob,
                       const std::optional<std::filesystem::path>& mediaFolder,
                       std::optional<ResolvedMedia> resolved = std::nullopt);
    // The files the editor resolved for the handed-over job; none for a job chosen otherwise.
    const std::optional<ResolvedMedia>& exportResolvedMedia() const { return exportResolvedMedia_; }

    // Writes `jobText` as a new hand-over job file in `folder`, named "velmora_render_" + 8
    // upper-case hex digits + ".json" and locked while its claim lives, so that a killed editor's
    // file is told from one a running editor hands over: the files of that naming no running
    // process holds are removed first. Throws a FileError naming the file; nothing is left behind.
    static std::unique_ptr<ClaimedScratchFile> writeHandoffJob(const std::filesystem::path& folder,
                                                               std::string_view jobText);
    static ScratchNaming handoffJobNaming();
    // Forgets the handed-over job and folder; the tab stays.
    void clearExportHandoff();

    // The guard of the workspace `owner` belongs to, replacing any other. It lapses when `owner`
    // is destroyed.
    void setExitGuard(const QObject* owner, ExitGuard guard);
    // Removes the guard, only if `owner` installed it.
    void clearExitGuard(const QObject* owner);
    // Runs `proceed` once the guard lets the shown workspace go; at once without a guard.
    void requestExit(WorkspaceExit exit, std::function<void()> proceed);
    // The user chose a mode: another tab than the selected one becomes selected once the guard
    // lets the shown workspace go; the selected one changes nothing.
    void requestTab(VelmoraShellTab tab);

signals:
    void selectedTabChanged();
    void exportJobURLChanged();
    void exportMediaFolderURLChanged();

private:
    VelmoraShellTab selectedTab_ = VelmoraShellTab::editor;
    std::optional<std::filesystem::path> exportJobURL_;
    std::optional<std::filesystem::path> exportMediaFolderURL_;
    // The handed-over job when it is a scratch file of the hand-over.
    std::unique_ptr<ClaimedScratchFile> scratchJob_;
    std::optional<ResolvedMedia> exportResolvedMedia_;
    QPointer<const QObject> exitGuardOwner_;
    ExitGuard exitGuard_;
};

} // namespace velmora
