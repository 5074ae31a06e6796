// The application ended from outside while an export runs: a signal ends it as a quit does.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <unistd.h>

#include "AppScenario.h"
#include "app/EditorApplication.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/ExportSheetController.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "support/TestSupport.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> partialsIn(const fs::path& folder, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(prefix))
            found.push_back(entry.path().filename().string());
    }
    return found;
}

class EndingScenario : public AppScenario {
protected:
    // In a process of its own: the application set up as main() sets it up, a 1920 × 1080
    // export of the timeline in the 10-bit Export workspace over `master` (replaced after the
    // panel's question), and `signal` sent to the process once the export's partial movie is
    // there; then the event loop and the application's end as main() runs them.
    void signalDuringAnExport(const fs::path& master, int signal)
    {
        EditorApplication::endOnSignals(*qApp);
        QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("10-bit Export Tab →")), Qt::LeftButton);
        ContentView* tenBit = nullptr;
        if (!waitForTenBitWorkspace(tenBit))
            std::_Exit(10);
        ExportWorkspaceController& job = tenBit->controller();
        if (!waitFor([&] { return job.inputsComplete(); }, "the handed-over job") || !job.jobURL())
            std::_Exit(11);
        const fs::path largerJob = writeLargerJob(*job.jobURL(), folders.scratch());
        QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("chooseJob")), Qt::LeftButton);
        QFileDialog* panel = nullptr;
        if (!waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the job panel"))
            std::_Exit(12);
        choose(*panel, largerJob);
        QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("export")), Qt::LeftButton);
        if (!waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the output panel"))
            std::_Exit(13);
        choose(*panel, master);
        QPointer<QMessageBox> replace;
        if (!waitFor([&] {
                return (replace = panel->findChild<QMessageBox*>(QStringLiteral("replaceQuestion"))) &&
                       replace->isVisible();
            }, "the replace question"))
            std::_Exit(14);
        QTest::mouseClick(buttonTitled(*replace, QStringLiteral("Replace")), Qt::LeftButton);
        const std::string partial = "." + master.stem().string() + ".partial-";
        if (!waitFor([&] { return job.isExporting() && !partialsIn(master.parent_path(), partial).empty(); },
                     "the export's partial movie"))
            std::_Exit(15);
        ::kill(::getpid(), signal);
        const int status = QApplication::exec();
        std::exit(finishApplication(status));
    }
};

// SIGTERM (as a log-out sends), SIGINT and SIGHUP during an export end the application as a quit
// does: with 128 + the signal's number, the export stopped, its partial movie gone and the
// older movie at its output as it was.
TEST_F(EndingScenario, ASignalDuringAnExportEndsAsAQuitDoesLeavingOnlyTheOlderMovie)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const fs::path folder = fs::path(VELMORA_TEST_TMP) / "EndingScenario";
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path master = folder / "master.mov";
        std::ofstream(master) << "the older movie";
        EXPECT_EXIT(signalDuringAnExport(master, signal), ::testing::ExitedWithCode(128 + signal), "");
        EXPECT_EQ(partialsIn(folder, ".master.partial-"), std::vector<std::string>{});
        EXPECT_EQ(test::readTextFile(master), "the older movie");
    }
}

// Cancel on the export sheet: by the time the sheet says the export was cancelled, its partial
// movie is gone.
TEST_F(AppScenario, ACancelledExportsPartialMovieIsGoneWhenTheSheetSaysSo)
{
    EditorExportSheet& sheet = openExportSheet();
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    const fs::path movie = folders.scratch() / "Cancelled.mp4";
    const ExportSheetController& run = sheet.controller();
    bool cancelled = false;
    const QObject listening;
    // Cancelled as soon as the partial movie is there, from the event loop's own turn.
    QObject::connect(&run, &ExportSheetController::statusChanged, &listening, [&] {
        if (!cancelled && run.isExporting() && !partialsIn(movie.parent_path(), ".Cancelled.partial-").empty()) {
            cancelled = true;
            QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("cancelExportButton")), Qt::LeftButton);
        }
    });
    choose(*panel, movie);
    ASSERT_TRUE(waitFor([&] { return !run.isExporting() && run.status() != "Choose format and destination."; },
                        "the export to end", 300))
        << run.status();
    ASSERT_TRUE(cancelled) << "the export ended before its partial movie was seen: " << run.status();
    EXPECT_EQ(run.status(), "Export failed.");
    EXPECT_EQ(run.errorText(), "Export cancelled.");
    EXPECT_EQ(partialsIn(movie.parent_path(), ".Cancelled.partial-"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(movie));
}

} // namespace
} // namespace velmora::test
