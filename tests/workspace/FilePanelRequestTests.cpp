#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;

// Both project panels carry their configuration into the request: one file, the project and JSON
// types first, other types allowed, each with its own accept label.
TEST(FilePanelRequests, ProjectPanelsCarryTheirLabelsAndOptions)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.pickSession();
    w.pickWebJobJSON();
    ASSERT_EQ(h.panels->requests.size(), 2u);
    const FilePanelRequest& open = h.panels->requests[0];
    EXPECT_EQ(open.kind, FilePanelRequest::Kind::openFile);
    EXPECT_EQ(open.acceptLabel, "Open");
    EXPECT_EQ(open.extensions, (std::vector<std::string>{"tavlek", "json"}));
    EXPECT_TRUE(open.allowsOtherFileTypes);
    const FilePanelRequest& webJob = h.panels->requests[1];
    EXPECT_EQ(webJob.kind, FilePanelRequest::Kind::openFile);
    EXPECT_EQ(webJob.acceptLabel, "Import");
    EXPECT_TRUE(webJob.allowsOtherFileTypes);
}

// Panels open in the project's folder once the project has a file (where no panel of their kind
// was used before: the panel service's own rule); without a file they leave the choice to it.
TEST(FilePanelRequests, PanelsOfASavedProjectStartInItsFolder)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.startNewProject();
    w.importMedia();
    ASSERT_TRUE(h.panels->hasOpenPanel());
    EXPECT_TRUE(h.panels->current().directory.empty());
    h.panels->cancel();

    const std::filesystem::path folder = h.folders.scratch() / "trip";
    std::filesystem::create_directories(folder);
    w.saveProjectAs();
    h.panels->choose(folder / "Trip.tavlek");
    ASSERT_EQ(w.sessionURL(), folder / "Trip.tavlek");
    w.importMedia();
    ASSERT_TRUE(h.panels->hasOpenPanel());
    EXPECT_EQ(h.panels->current().directory, folder);
    EXPECT_EQ(h.panels->current().acceptLabel, "Import Media");
}

} // namespace
} // namespace velmora
