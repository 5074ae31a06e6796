#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui/QtFilePanels.h"
#include "support/TestSupport.h"

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

// The panel's accept button.
QAbstractButton* acceptButton(QFileDialog& dialog)
{
    auto* box = dialog.findChild<QDialogButtonBox*>();
    if (!box)
        return nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
            return button;
    }
    return nullptr;
}

QString acceptButtonText(QFileDialog& dialog)
{
    QAbstractButton* button = acceptButton(dialog);
    return button ? button->text() : QString();
}

TEST(QtFilePanels, AcceptLabelAndOtherFileTypesReachTheDialog)
{
    QWidget parent;
    QtFilePanels panels(&parent);
    FilePanelRequest request;
    request.extensions = {"json"};
    request.acceptLabel = "Import";
    request.allowsOtherFileTypes = true;
    panels.run(request, [](std::vector<std::filesystem::path>) {});
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(acceptButtonText(*dialog), "Import");
    EXPECT_EQ(dialog->nameFilters(), (QStringList{"JSON (*.json *.JSON)", "All files (*)"}));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->reject();
    QApplication::processEvents();
}

TEST(QtFilePanels, OnePanelTakesFilesAndFoldersTogether)
{
    test::TempDir root;
    std::filesystem::create_directories(root / "day1");
    test::writeTextFile(root / "A.mp4", "x");
    QWidget parent;
    QtFilePanels panels(&parent);
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFiles;
    request.canChooseDirectories = true;
    request.extensions = {"mp4"};
    request.acceptLabel = "Import Media";
    request.directory = root.path();
    std::vector<std::vector<std::filesystem::path>> answers;
    const auto record = [&](std::vector<std::filesystem::path> paths) { answers.push_back(std::move(paths)); };

    // A selected folder is returned, not opened, and the button keeps its label meanwhile.
    panels.run(request, record);
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    dialog->selectFile(QString::fromStdString((root / "day1").string()));
    EXPECT_EQ(acceptButtonText(*dialog), "Import Media");
    ASSERT_TRUE(acceptButton(*dialog) && acceptButton(*dialog)->isEnabled());
    acceptButton(*dialog)->click();
    QApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], std::vector<std::filesystem::path>{root / "day1"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A file and a folder at once.
    panels.run(request, record);
    dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QStringLiteral("\"A.mp4\" \"day1\""));
    ASSERT_NE(acceptButton(*dialog), nullptr);
    acceptButton(*dialog)->click();
    QApplication::processEvents();
    ASSERT_EQ(answers.size(), 2u);
    std::vector<std::filesystem::path> both = answers[1];
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<std::filesystem::path>{root / "A.mp4", root / "day1"}));
}

} // namespace
} // namespace velmora
