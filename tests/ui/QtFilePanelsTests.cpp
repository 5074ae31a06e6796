#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui/QtFilePanels.h"
#include "ScopedEnvironment.h"
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

// The Import Media panel's request: files and folders, several at once, starting in `folder`.
FilePanelRequest importMediaRequest(const std::filesystem::path& folder)
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFiles;
    request.canChooseDirectories = true;
    request.extensions = {"mp4"};
    request.acceptLabel = "Import Media";
    request.directory = folder;
    return request;
}

TEST(QtFilePanels, OnePanelTakesFilesAndFoldersTogether)
{
    test::TempDir root;
    std::filesystem::create_directories(root / "day1");
    test::writeTextFile(root / "A.mp4", "x");
    QWidget parent;
    QtFilePanels panels(&parent);
    const FilePanelRequest request = importMediaRequest(root.path());
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

// Runs the event loop until `done` holds (the panel lists a folder on a worker thread).
template <typename Condition>
bool spinUntil(Condition done)
{
    return QTest::qWaitFor(done, 60000);
}

QString canonicalPath(const std::filesystem::path& path)
{
    return QFileInfo(QString::fromStdString(path.string())).canonicalFilePath();
}

// Enter on a highlighted folder goes into it and takes nothing; the accept button keeps its
// label while a folder is highlighted in the list and takes the folder itself.
TEST(QtFilePanels, EnterOnAFolderGoesIntoItAndOnlyTheButtonTakesIt)
{
    test::TempDir root;
    std::filesystem::create_directories(root / "day1");
    test::writeTextFile(root / "day1" / "B.mp4", "x");
    test::writeTextFile(root / "A.mp4", "x");
    QWidget parent;
    QtFilePanels panels(&parent);
    const FilePanelRequest request = importMediaRequest(root.path());
    std::vector<std::vector<std::filesystem::path>> answers;
    panels.run(request, [&](std::vector<std::filesystem::path> paths) { answers.push_back(std::move(paths)); });
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(list && name);
    ASSERT_TRUE(spinUntil([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));

    // Highlighted in the list, as a click does.
    QModelIndex folder;
    for (int row = 0; row < 2; ++row) {
        const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
        if (index.data().toString() == QStringLiteral("day1"))
            folder = index;
    }
    ASSERT_TRUE(folder.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(folder).center());
    QApplication::processEvents();
    EXPECT_EQ(acceptButtonText(*dialog), "Import Media");

    QTest::keyClick(name, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->directory().canonicalPath().toStdString(), canonicalPath(root / "day1").toStdString());
    EXPECT_EQ(acceptButtonText(*dialog), "Import Media");

    // Back up, highlight it again and take the folder with the button.
    dialog->setDirectory(QString::fromStdString(root.path().string()));
    ASSERT_TRUE(spinUntil([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    for (int row = 0; row < 2; ++row) {
        const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
        if (index.data().toString() == QStringLiteral("day1"))
            folder = index;
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(folder).center());
    EXPECT_EQ(acceptButtonText(*dialog), "Import Media");
    ASSERT_NE(acceptButton(*dialog), nullptr);
    acceptButton(*dialog)->click();
    QApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], std::vector<std::filesystem::path>{root / "day1"});
}

// A panel starts in the folder the last panel of its kind was closed in, else the project's
// folder, else the user's Videos folder.
TEST(QtFilePanels, PanelsStartWhereTheirKindWasLastUsedElseTheProjectElseVideos)
{
    test::TempDir home;
    std::filesystem::create_directories(home / "Videos");
    std::filesystem::create_directories(home / "project");
    std::filesystem::create_directories(home / "elsewhere");
    const test::ScopedEnvironment homeVariable("HOME", home.path().string());
    const test::ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);

    FilePanelRequest save;
    save.kind = FilePanelRequest::Kind::saveFile;
    save.extensions = {"startrule"};
    EXPECT_EQ(QtFilePanels::startFolder(save), QString::fromStdString((home / "Videos").string()));
    save.directory = home / "project";
    EXPECT_EQ(QtFilePanels::startFolder(save), QString::fromStdString((home / "project").string()));

    QWidget parent;
    QtFilePanels panels(&parent);
    panels.run(save, [](std::vector<std::filesystem::path>) {});
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->directory().canonicalPath().toStdString(), canonicalPath(home / "project").toStdString());
    dialog->setDirectory(QString::fromStdString((home / "elsewhere").string()));
    dialog->selectFile(QStringLiteral("movie.startrule"));
    ASSERT_NE(acceptButton(*dialog), nullptr);
    acceptButton(*dialog)->click();
    QApplication::processEvents();

    // The same kind starts where it was left, whatever its project folder; another kind does not.
    EXPECT_EQ(canonicalPath(QtFilePanels::startFolder(save).toStdString()), canonicalPath(home / "elsewhere"));
    FilePanelRequest other = save;
    other.kind = FilePanelRequest::Kind::openFile;
    EXPECT_EQ(QtFilePanels::startFolder(other), QString::fromStdString((home / "project").string()));
}

// A typed folder and Enter: the panel goes into the folder and takes nothing. After a file typed
// as a path elsewhere is taken, the next panel of the kind starts in that file's folder.
TEST(QtFilePanels, EnterOnATypedFolderGoesIntoItAndATypedPathSetsTheNextStart)
{
    test::TempDir root;
    std::filesystem::create_directories(root / "day1");
    std::filesystem::create_directories(root / "day2");
    test::writeTextFile(root / "day2" / "C.typedpath", "x");
    QWidget parent;
    QtFilePanels panels(&parent);
    FilePanelRequest request = importMediaRequest(root.path());
    request.extensions = {"typedpath"};
    std::vector<std::vector<std::filesystem::path>> answers;
    panels.run(request, [&](std::vector<std::filesystem::path> paths) { answers.push_back(std::move(paths)); });
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    for (const QString& typed : {QStringLiteral("day1"), QString::fromStdString((root / "day2").string())}) {
        name->clear();
        QTest::keyClicks(name, typed);
        // Enter goes where the keyboard is: to the completion list when typing opened it.
        QWidget* popup = name->completer() ? name->completer()->popup() : nullptr;
        QTest::keyClick(popup && popup->isVisible() ? popup : static_cast<QWidget*>(name), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_TRUE(answers.empty()) << typed.toStdString();
        EXPECT_EQ(dialog->directory().canonicalPath().toStdString(),
                  canonicalPath(root / std::filesystem::path(typed.toStdString())).toStdString());
    }

    // Enter in the list goes into the highlighted folder too.
    dialog->setDirectory(QString::fromStdString(root.path().string()));
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(spinUntil([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    const QModelIndex first = list->model()->index(0, 0, list->rootIndex());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(first).center());
    QTest::keyClick(list, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(dialog->directory().canonicalPath().toStdString(), canonicalPath(root / "day1").toStdString());

    dialog->setDirectory(QString::fromStdString(root.path().string()));
    name->setText(QString::fromStdString((root / "day2" / "C.typedpath").string()));
    ASSERT_NE(acceptButton(*dialog), nullptr);
    acceptButton(*dialog)->click();
    QApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], std::vector<std::filesystem::path>{root / "day2" / "C.typedpath"});
    EXPECT_EQ(canonicalPath(QtFilePanels::startFolder(request).toStdString()).toStdString(),
              canonicalPath(root / "day2").toStdString());
}

// "out" typed over an existing out.mp4 asks about out.mp4; Cancel keeps the panel up and the file
// as it was, Replace gives out.mp4.
TEST(QtFilePanels, SaveNamesAreCompletedBeforeTheReplaceQuestion)
{
    test::TempDir root;
    test::writeTextFile(root / "out.mp4", "old movie");
    QWidget parent;
    QtFilePanels panels(&parent);
    std::vector<std::vector<std::filesystem::path>> answers;
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.directory = root.path();
    request.extensions = {"mp4", "mov"};
    request.defaultSuffix = "mp4";
    panels.run(request, [&](std::vector<std::filesystem::path> paths) { answers.push_back(std::move(paths)); });
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    for (const bool replace : {false, true}) {
        name->setText(QStringLiteral("out"));
        QTest::keyClick(name, Qt::Key_Return);
        auto* question = dialog->findChild<QMessageBox*>(QStringLiteral("replaceQuestion"));
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(question->text().toStdString(), "\u201Cout.mp4\u201D already exists. Do you want to replace it?");
        QAbstractButton* answer = nullptr;
        for (QAbstractButton* button : question->buttons()) {
            if (button->text() == (replace ? QStringLiteral("Replace") : QStringLiteral("Cancel")))
                answer = button;
        }
        ASSERT_NE(answer, nullptr);
        answer->click();
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!replace) {
            EXPECT_TRUE(answers.empty());
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(test::readTextFile(root / "out.mp4"), "old movie");
        }
    }
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], std::vector<std::filesystem::path>{root / "out.mp4"});
}

} // namespace
} // namespace velmora
