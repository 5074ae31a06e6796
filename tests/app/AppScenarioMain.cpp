// main() of the application scenarios. They need a screen of their own: started without one,
// the executable runs itself again under `xvfb-run -a` on a fresh virtual X server, with Qt on
// the xcb platform, so every run (each test CTest starts, or all of them by hand) gets its own
// screen, never the user's desktop; nor does it reach the user's session bus, where "Show in
// Folder" after an export would open the user's file manager. Listing the tests needs no screen.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <QApplication>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/EditorApplication.h"

namespace {

constexpr const char* insideVirtualScreen = "VELMORA_SCENARIO_SCREEN";

int runOnVirtualScreen(const std::vector<char*>& arguments)
{
    ::setenv(insideVirtualScreen, "1", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<const char*> command = {"xvfb-run", "-a", "-s", "-screen 0 1600x1000x24", self.c_str()};
    command.insert(command.end(), arguments.begin() + 1, arguments.end());
    command.push_back(nullptr);
    ::execvp(command.front(), const_cast<char* const*>(command.data()));
    std::perror("app_tests: cannot run xvfb-run");
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<char*> arguments(argv, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (!std::getenv(insideVirtualScreen))
        return runOnVirtualScreen(arguments);

    QApplication application(argc, argv);
    velmora::EditorApplication::configure(application);
    return RUN_ALL_TESTS();
}
