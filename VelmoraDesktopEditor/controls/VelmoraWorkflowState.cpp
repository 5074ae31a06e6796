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

void removeScratchJob(std::optional<std::filesystem::path>& scratch)
{
    if (scratch) {
        std::error_code ec;
        std::filesystem::remove(*scratch, ec);
        scratch.reset();
    }
}

} // namespace

VelmoraWorkflowState::~VelmoraWorkflowState()
{
    removeScratchJob(scratchJobURL_);
}

void VelmoraWorkflowState::setSelectedTab(VelmoraShellTab tab)
{
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void VelmoraWorkflowState::setExportJobURL(std::optional<std::filesystem::path> url)
{
    if (scratchJobURL_ && url != scratchJobURL_)
        removeScratchJob(scratchJobURL_);
    exportJobURL_ = std::move(url);
    emit exportJobURLChanged();
}

void VelmoraWorkflowState::setExportMediaFolderURL(std::optional<std::filesystem::path> url)
{
    exportMediaFolderURL_ = std::move(url);
    emit exportMediaFolderURLChanged();
}

void VelmoraWorkflowState::openExportTab(const std::filesystem::path& jobURL,
                                         const std::optional<std::filesystem::path>& mediaFolder, HandoffFile file)
{
    setExportJobURL(jobURL);
    if (file == HandoffFile::scratch)
        scratchJobURL_ = jobURL;
    setExportMediaFolderURL(mediaFolder);
    setSelectedTab(VelmoraShellTab::exportTab);
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
