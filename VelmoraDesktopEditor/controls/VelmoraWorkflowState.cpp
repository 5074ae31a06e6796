#include "controls/VelmoraWorkflowState.h"

namespace velmora {

std::optional<VelmoraShellTab> VelmoraShellTabs::fromRawValue(std::string_view text)
{
    for (VelmoraShellTab tab : allCases) {
        if (rawValue(tab) == text)
            return tab;
    }
    return std::nullopt;
}

void VelmoraWorkflowState::setSelectedTab(VelmoraShellTab tab)
{
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void VelmoraWorkflowState::setExportJobURL(std::optional<std::filesystem::path> url)
{
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
    setExportMediaFolderURL(mediaFolder);
    setSelectedTab(VelmoraShellTab::exportTab);
}

void VelmoraWorkflowState::clearExportHandoff()
{
    setExportJobURL(std::nullopt);
    setExportMediaFolderURL(std::nullopt);
}

} // namespace velmora
