#include "controls/VelmoraWorkflowState.h"

#include <system_error>

namespace velmora {

std::optional<VelmoraShellTab> VelmoraShellTabs::fromRawValue(std::string_view text)
{
    for (VelmoraShellTab tab : allCases) {
        if (rawValue(tab) == text)
            return tab;
    }
    return std::nullopt;
}

namespace {

// Removed before its lock goes, so that no sweep can take it for a leftover in between.
void removeScratchJob(std::unique_ptr<ClaimedScratchFile>& scratch)
{
    if (scratch) {
        std::error_code ec;
        std::filesystem::remove(scratch->path(), ec);
        scratch.reset();
    }
}

} // namespace

VelmoraWorkflowState::~VelmoraWorkflowState()
{
    removeScratchJob(scratchJob_);
}

void VelmoraWorkflowState::setSelectedTab(VelmoraShellTab tab)
{
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void VelmoraWorkflowState::setExportJobURL(std::optional<std::filesystem::path> url)
{
    if (scratchJob_ && url != scratchJob_->path())
        removeScratchJob(scratchJob_);
    if (url != exportJobURL_)
        exportResolvedMedia_.reset();
    exportJobURL_ = std::move(url);
    emit exportJobURLChanged();
}

void VelmoraWorkflowState::setExportMediaFolderURL(std::optional<std::filesystem::path> url)
{
    exportMediaFolderURL_ = std::move(url);
    emit exportMediaFolderURLChanged();
}

void VelmoraWorkflowState::openExportTab(const std::filesystem::path& jobURL,
                                         const std::optional<std::filesystem::path>& mediaFolder)
{
    setExportJobURL(jobURL);
    exportResolvedMedia_.reset();
    setExportMediaFolderURL(mediaFolder);
    setSelectedTab(VelmoraShellTab::exportTab);
}

void VelmoraWorkflowState::openExportTab(std::unique_ptr<ClaimedScratchFile> scratchJob,
                                         const std::optional<std::filesystem::path>& mediaFolder,
                                         std::optional<ResolvedMedia> resolved)
{
    setExportJobURL(scratchJob->path());
    // Those who hear of the new job look at it once control is back in the event loop, and find
    // its files with it.
    exportResolvedMedia_ = std::move(resolved);
    scratchJob_ = std::move(scratchJob);
    setExportMediaFolderURL(mediaFolder);
    setSelectedTab(VelmoraShellTab::exportTab);
}

ScratchNaming VelmoraWorkflowState::handoffJobNaming()
{
    return ScratchNaming{"velmora_render_", ".json", 8, "0123456789ABCDEF"};
}

std::unique_ptr<ClaimedScratchFile> VelmoraWorkflowState::writeHandoffJob(const std::filesystem::path& folder,
                                                                          std::string_view jobText)
{
    removeStaleScratchFiles(folder, handoffJobNaming());
    auto claim = std::make_unique<ClaimedScratchFile>(folder, handoffJobNaming(), "Could not write", folder);
    try {
        claim->writeAllAndClose(jobText, "Could not write");
    } catch (...) {
        removeScratchJob(claim);
        throw;
    }
    return claim;
}

void VelmoraWorkflowState::clearExportHandoff()
{
    setExportJobURL(std::nullopt);
    setExportMediaFolderURL(std::nullopt);
}

void VelmoraWorkflowState::setExitGuard(const QObject* owner, ExitGuard guard)
{
    exitGuardOwner_ = owner;
    exitGuard_ = owner ? std::move(guard) : ExitGuard{};
}

void VelmoraWorkflowState::clearExitGuard(const QObject* owner)
{
    if (exitGuardOwner_ != owner)
        return;
    exitGuardOwner_ = nullptr;
    exitGuard_ = {};
}

void VelmoraWorkflowState::requestExit(WorkspaceExit exit, std::function<void()> proceed)
{
    if (exitGuardOwner_ && exitGuard_) {
        // A copy: the guard may replace itself while it runs.
        const ExitGuard guard = exitGuard_;
        guard(exit, std::move(proceed));
    } else {
        proceed();
    }
}

void VelmoraWorkflowState::requestTab(VelmoraShellTab tab)
{
    if (tab == selectedTab_)
        return;
    QPointer<VelmoraWorkflowState> self(this);
    requestExit(WorkspaceExit::switchMode, [self, tab] {
        if (self)
            self->setSelectedTab(tab);
    });
}

} // namespace velmora
