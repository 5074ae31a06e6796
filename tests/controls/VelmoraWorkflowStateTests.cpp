#include <QSignalSpy>
#include <gtest/gtest.h>

#include "controls/VelmoraWorkflowState.h"

namespace velmora {
namespace {

TEST(VelmoraWorkflowState, OpenExportTabSetsJobThenFolderThenTab)
{
    VelmoraWorkflowState state;
    std::vector<std::string> order;
    QObject::connect(&state, &VelmoraWorkflowState::exportJobURLChanged, [&] { order.push_back("job"); });
    // The job is already in place when the folder arrives.
    QObject::connect(&state, &VelmoraWorkflowState::exportMediaFolderURLChanged,
                     [&] { order.push_back(state.exportJobURL() ? "folder after job" : "folder"); });
    QObject::connect(&state, &VelmoraWorkflowState::selectedTabChanged, [&] { order.push_back("tab"); });

    state.openExportTab("/tmp/job.json", std::nullopt);
    EXPECT_EQ(order, (std::vector<std::string>{"job", "folder after job", "tab"}));
    EXPECT_EQ(state.selectedTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(state.exportJobURL(), std::filesystem::path("/tmp/job.json"));
    EXPECT_FALSE(state.exportMediaFolderURL().has_value());

    state.setSelectedTab(VelmoraShellTab::editor);
    state.clearExportHandoff();
    EXPECT_FALSE(state.exportJobURL().has_value());
    EXPECT_EQ(state.selectedTab(), VelmoraShellTab::editor);
}

TEST(VelmoraShellTab, RawValuesAreExactAndOrdered)
{
    EXPECT_EQ(VelmoraShellTabs::rawValue(VelmoraShellTabs::allCases[0]), "Edit");
    EXPECT_EQ(VelmoraShellTabs::rawValue(VelmoraShellTabs::allCases[1]), "10-bit Export");
    EXPECT_EQ(VelmoraShellTabs::fromRawValue("10-bit Export"), VelmoraShellTab::exportTab);
    EXPECT_FALSE(VelmoraShellTabs::fromRawValue("edit").has_value());
}

} // namespace
} // namespace velmora
