// A file named on the command line whose name is not UTF-8, as `velmora-editor $'…/Trip\xe9.tavlek'`
// hands it over: the window opens it by its bytes and names it with those bytes escaped.
#include <QLabel>

#include "AppScenario.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class OddNameScenario : public AppScenario {
protected:
    // The scenario opens a project of its own.
    void SetUp() override {}
};

TEST_F(OddNameScenario, AProjectWhoseNameIsNotUtf8OpensFromTheCommandLine)
{
    const fs::path file = folders.scratch() / "Trip\xe9.tavlek";
    // A placeholder name: the window names the project after its file.
    writeOneMovieProject(file, folders.scratch() / "Trip_media", "Untitled Project", "a.mp4", 30, 30, 1.0);

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady(); }, "the project's picture")) << engine().status();
    EXPECT_EQ(workspace().sessionURL(), file);
    EXPECT_FALSE(workspace().showError()) << workspace().errorText();
    EXPECT_EQ(edit().topBar()->projectNameLabel()->text().toStdString(), "Trip\\xE9");
    screenshot("odd-name-1-opened.png", globalRect(window()));
}

} // namespace
} // namespace velmora::test
