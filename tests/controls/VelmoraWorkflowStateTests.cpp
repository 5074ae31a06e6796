#include <fstream>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QSignalSpy>
#include <gtest/gtest.h>

#include "controls/VelmoraWorkflowState.h"
#include "support/TestSupport.h"

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

// Hand-over job files are held (locked) while handed over and go once replaced, cleared or with
// the state; a new one first removes those a killed editor left, not those a running one holds.
TEST(VelmoraWorkflowState, AScratchJobIsHeldWhileHandedOverAndGoesOnceReplacedClearedOrWithTheState)
{
    const test::TempDir folder;
    const auto file = [&](const char* name) {
        std::ofstream(folder / name) << "{}";
        return folder / name;
    };
    const auto handOver = [&](VelmoraWorkflowState& state) {
        state.openExportTab(VelmoraWorkflowState::writeHandoffJob(folder.path(), "{}"), std::nullopt);
        return *state.exportJobURL();
    };
    VelmoraWorkflowState running; // another window's hand-over
    const std::filesystem::path kept[] = {handOver(running), file("velmora_render_0123abcd.json"), file("chosen.json")};
    std::filesystem::path r3;
    {
        VelmoraWorkflowState state;
        state.openExportTab(kept[2], std::nullopt); // the user's own: kept
        const std::filesystem::path killed = file("velmora_render_0123ABCD.json");
        const std::filesystem::path r1 = handOver(state);
        EXPECT_FALSE(std::filesystem::exists(killed));
        const int other = ::open(r1.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(other, 0) << r1;
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "held while handed over";
        ::close(other);
        const std::filesystem::path r2 = handOver(state);
        EXPECT_FALSE(std::filesystem::exists(r1));
        state.clearExportHandoff();
        EXPECT_FALSE(std::filesystem::exists(r2));
        r3 = handOver(state);
    }
    EXPECT_FALSE(std::filesystem::exists(r3));
    for (const std::filesystem::path& path : kept)
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
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
