#include <fstream>
#include <functional>
#include <memory>

#include <unistd.h>

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

TEST(VelmoraWorkflowState, AScratchJobGoesOnceReplacedClearedOrWithTheState)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("velmora-handoff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto file = [&](const char* name) {
        std::ofstream(folder / name) << "{}";
        return folder / name;
    };
    {
        VelmoraWorkflowState state;
        using File = VelmoraWorkflowState::HandoffFile;
        state.openExportTab(file("chosen.json"), std::nullopt); // the user's own: kept
        state.openExportTab(file("r1.json"), std::nullopt, File::scratch);
        EXPECT_TRUE(std::filesystem::exists(folder / "chosen.json"));
        state.openExportTab(folder / "r1.json", std::nullopt, File::scratch); // the same hand-over again
        EXPECT_TRUE(std::filesystem::exists(folder / "r1.json"));
        state.openExportTab(file("r2.json"), std::nullopt, File::scratch);
        EXPECT_FALSE(std::filesystem::exists(folder / "r1.json"));
        state.clearExportHandoff();
        EXPECT_FALSE(std::filesystem::exists(folder / "r2.json"));
        state.openExportTab(file("r3.json"), std::nullopt, File::scratch);
        EXPECT_TRUE(std::filesystem::exists(folder / "r3.json"));
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "r3.json"));
    EXPECT_TRUE(std::filesystem::exists(folder / "chosen.json"));
    std::filesystem::remove_all(folder);
}

TEST(VelmoraWorkflowState, TheShownWorkspacesGuardDecidesWhetherAChosenModeIsTaken)
{
    VelmoraWorkflowState state;
    using Exit = VelmoraWorkflowState::WorkspaceExit;
    // No guard: taken at once; the selected mode changes nothing.
    state.requestTab(VelmoraShellTab::exportTab);
    EXPECT_EQ(state.selectedTab(), VelmoraShellTab::exportTab);
    state.setSelectedTab(VelmoraShellTab::editor);

    std::vector<Exit> asked;
    std::function<void()> later;
    auto owner = std::make_unique<QObject>();
    state.setExitGuard(owner.get(), [&](Exit exit, std::function<void()> proceed) {
        asked.push_back(exit);
        later = std::move(proceed);
    });
    state.requestTab(VelmoraShellTab::editor);
    state.requestTab(VelmoraShellTab::exportTab);
    EXPECT_EQ(state.selectedTab(), VelmoraShellTab::editor); // kept until the guard goes on
    later();
    EXPECT_EQ(state.selectedTab(), VelmoraShellTab::exportTab);
    bool quit = false;
    state.requestExit(Exit::quit, [&] { quit = true; });
    EXPECT_EQ(asked, (std::vector<Exit>{Exit::switchMode, Exit::quit}));
    EXPECT_FALSE(quit);

    // Only its owner removes it, and it lapses with its owner.
    QObject other;
    state.clearExitGuard(&other);
    state.requestExit(Exit::quit, [&] { quit = true; });
    EXPECT_EQ(asked.size(), 3u);
    owner.reset();
    state.requestExit(Exit::quit, [&] { quit = true; });
    EXPECT_TRUE(quit);
    EXPECT_EQ(asked.size(), 3u);
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
