#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;
using Action = EditorWorkspaceController::PreviewPlaceholder::Action;

TEST(FilePanelRequests, CarryTheirAcceptLabelsAndOptions)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();

    // Both project panels: one file, the project and JSON types first, other types allowed.
    w.pickSession();
    w.pickWebJobJSON();
    w.runPlaceholderAction(Action::importMedia);
    ASSERT_EQ(h.panels->requests.size(), 3u);
    const FilePanelRequest& open = h.panels->requests[0];
    EXPECT_EQ(open.kind, FilePanelRequest::Kind::openFile);
    EXPECT_EQ(open.acceptLabel, "Open");
    EXPECT_EQ(open.extensions, (std::vector<std::string>{"tavlek", "json"}));
    EXPECT_TRUE(open.allowsOtherFileTypes);
    EXPECT_FALSE(open.canChooseDirectories);
    const FilePanelRequest& webJob = h.panels->requests[1];
    EXPECT_EQ(webJob.acceptLabel, "Import");
    EXPECT_EQ(webJob.title, "Choose a web export: Desktop job JSON, Edit Return JSON, or a browser .tavlek project.");
    EXPECT_TRUE(webJob.allowsOtherFileTypes);
    EXPECT_FALSE(webJob.allowsMultipleSelection());

    // The placeholder's "Import Media…" is the media pool's panel: files and folders, several.
    const FilePanelRequest& import = h.panels->requests[2];
    EXPECT_EQ(import.acceptLabel, "Import Media");
    EXPECT_TRUE(import.allowsMultipleSelection());
    EXPECT_TRUE(import.canChooseDirectories);
    EXPECT_FALSE(import.allowsOtherFileTypes);
}

} // namespace
} // namespace velmora
