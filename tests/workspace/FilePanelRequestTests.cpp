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

} // namespace
} // namespace velmora
