#include <QApplication>
#include <QFileDialog>
#include <gtest/gtest.h>

#include "platform/ui/QtFilePanels.h"

namespace velmora {
namespace {

TEST(QtFilePanels, NameFilterListsEachExtensionInBothCases)
{
    FilePanelRequest request;
    request.extensions = {"json", "tavlek"};
    EXPECT_EQ(QtFilePanels::nameFilter(request).toStdString(), "JSON, TAVLEK (*.json *.JSON *.tavlek *.TAVLEK)");
    request.extensions.clear();
    EXPECT_EQ(QtFilePanels::nameFilter(request).toStdString(), "All files (*)");
}

TEST(QtFilePanels, PanelDoesNotBlockAndReportsCancelOnce)
{
    QWidget parent;
    QtFilePanels panels(&parent);
    int calls = 0;
    std::vector<std::filesystem::path> chosen{"unset"};
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.suggestedName = "movie.mp4";
    panels.run(request, [&](std::vector<std::filesystem::path> paths) {
        ++calls;
        chosen = std::move(paths);
    });
    // run() returned while the panel is up.
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(calls, 0);
    dialog->reject();
    QApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(chosen.empty());
}

} // namespace
} // namespace velmora
