// The files around a 10-bit master on the real window: the output's name decides its container,
// and quitting while an export runs leaves neither a partial movie nor a render job behind.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include <QFileDialog>
#include <QPointer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "app/EditorApplication.h"
#include "export/PartialMovie.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/ExportSheetCancelToken.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/dispatch/QtMainQueue.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// The names of the files in `folder` that start with one of `prefixes`.
std::vector<std::string> filesStartingWith(const fs::path& folder, const std::vector<std::string>& prefixes)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const std::string& prefix : prefixes) {
            if (name.starts_with(prefix))
                found.push_back(name);
        }
    }
    return found;
}

// The timeline handed over to the 10-bit Export workspace; "Choose Output…" names
// "Scenes_master.mov" in the output panel, and the Container picker shows MOV; the export is a
// QuickTime movie. A second, larger job drops that output; its export to the same file, chosen
// again and replaced after the panel's question, is still running when Ctrl+Q asks
// "Stop the export and quit?"; "Stop & Quit" closes the window at once. Once the application has
// ended, the stopped export has left no partial file beside the first master, which is
// untouched, and the temporary folder holds no render job.
TEST_F(AppScenario, QuittingDuringAnExportKeepsTheEarlierMasterAndLeavesNoScratchFiles)
{
    ContentView* tenBit = nullptr;
    ASSERT_TRUE(handOverToTenBit(tenBit));
    ExportWorkspaceController& job = tenBit->controller();
    ASSERT_TRUE(job.jobURL());
    EXPECT_EQ(filesStartingWith(folders.temporary(), {"velmora_render_"}),
              std::vector<std::string>{job.jobURL()->filename().string()});

    const fs::path master = folders.scratch() / "Scenes_master.mov";
    chooseTenBitOutput(*tenBit, master);
    ASSERT_EQ(job.outputURL(), master);
    EXPECT_EQ(job.outputContainer(), "mov");
    EXPECT_TRUE(tenBit->findChild<QPushButton*>(QStringLiteral("container-mov"))->isChecked());
    EXPECT_FALSE(tenBit->findChild<QPushButton*>(QStringLiteral("container-mp4"))->isChecked());

    auto* exportButton = tenBit->findChild<QPushButton*>(QStringLiteral("export"));
    QTest::mouseClick(exportButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return job.isExporting(); }, "the export to start"));
    ASSERT_TRUE(waitFor([&] { return !job.isExporting(); }, "the export", 1200)) << job.statusText();
    ASSERT_EQ(job.statusText(), "Done: " + master.string());
    screenshot("exportfiles-1-exported.png", globalRect(window()));
    const nlohmann::json format = ffprobe(master, "-show_format")["format"];
    EXPECT_EQ(format["tags"]["major_brand"], "qt  ") << format.dump();
    const std::string exported = test::readTextFile(master);
    const fs::file_time_type written = fs::last_write_time(master);

    // The same timeline at 1920 × 1080, chosen as a job of its own, takes long enough to still be
    // running when the window is asked to quit, once its partial movie is there.
    const fs::path largerJob = writeLargerJob(*job.jobURL(), folders.scratch());
    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("chooseJob")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the job panel"));
    choose(*panel, largerJob);
    ASSERT_EQ(job.jobURL(), largerJob);
    ASSERT_TRUE(job.inputsComplete());
    // The first job's master is not this job's output: the export asks, and the panel asks
    // before replacing the master.
    ASSERT_EQ(job.outputURL(), std::nullopt);
    const std::vector<std::string> partial = {".Scenes_master.partial-"};
    QTest::mouseClick(exportButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the output panel of the new job"));
    choose(*panel, master);
    QPointer<QMessageBox> replace;
    ASSERT_TRUE(waitFor(
        [&] { return (replace = panel->findChild<QMessageBox*>(QStringLiteral("replaceQuestion"))) && replace->isVisible(); },
        "the replace question"));
    ASSERT_NE(buttonTitled(*replace, QStringLiteral("Replace")), nullptr);
    QTest::mouseClick(buttonTitled(*replace, QStringLiteral("Replace")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return job.isExporting() && !filesStartingWith(folders.scratch(), partial).empty(); },
                        "the second export's partial movie"))
        << job.statusText();
    bool closed = false;
    const QObject listening;
    QObject::connect(&window(), &VelmoraDesktopShellView::closed, &listening, [&] { closed = true; });
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 60000));
    QTest::keyClick(&window(), Qt::Key_Q, Qt::ControlModifier);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(waitFor(
        [&] { return (question = tenBit->findChild<QMessageBox*>(QStringLiteral("quitQuestion"))) && question->isVisible(); },
        "the quit question"));
    EXPECT_EQ(question->text(), QStringLiteral("Stop the export and quit?"));
    QAbstractButton* stop = buttonTitled(*question, QStringLiteral("Stop & Quit"));
    ASSERT_NE(stop, nullptr);
    EXPECT_NE(buttonTitled(*question, QStringLiteral("Cancel")), nullptr);
    screenshot("exportfiles-2-quit-question.png");
    ASSERT_TRUE(job.isExporting()) << "the second export ended before the question was answered";
    EXPECT_FALSE(closed);

    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return closed; }, "the window to close", 60)) << job.statusText();
    EXPECT_FALSE(window().isVisible());

    // The application ends as main() ends it once the window has closed.
    endApplication();
    EXPECT_EQ(filesStartingWith(folders.scratch(), partial), std::vector<std::string>{});
    ASSERT_TRUE(fs::exists(master));
    EXPECT_EQ(fs::last_write_time(master), written);
    EXPECT_TRUE(test::readTextFile(master) == exported) << "the first master changed";
    EXPECT_EQ(filesStartingWith(folders.temporary(), {"velmora_render_", "velmora_editor_export_"}),
              std::vector<std::string>{});
}

// Ending as main() does stops what a workspace left running and waits for its thread.
TEST_F(AppScenario, EndingAsMainDoesStopsAndJoinsWhatAWorkspaceLeftRunning)
{
    auto token = std::make_shared<ExportCancelToken>();
    std::atomic<bool> stopped = false;
    OrphanedExports::adopt(OrphanedExports::Worker("left running", std::make_shared<QtMainQueue>(),
                                                   [token, &stopped] {
                                                       while (!token->isCancelled())
                                                           std::this_thread::yield();
                                                       stopped = true;
                                                   }),
                           token);
    EXPECT_EQ(OrphanedExports::count(), 1u);
    endApplication();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(OrphanedExports::count(), 0u);
}

// Runs in a process of its own: the real window, an export left running that is slow to let go
// once asked to stop (as an encoder finishing the frames in flight under load can be), then the
// application's end as main() ends it, with 3 as the event loop's status.
void endWhileAnExportIsSlowToStop(const fs::path& output)
{
    auto window = EditorApplication::makeWindow();
    auto token = std::make_shared<ExportCancelToken>();
    auto writing = std::make_shared<std::atomic<bool>>(false);
    OrphanedExports::adopt(OrphanedExports::Worker("slow to stop", std::make_shared<QtMainQueue>(),
                                                   [token, output, writing] {
                                                       Exporter::PartialMovie partial(output);
                                                       std::ofstream(partial.path()) << "part of a movie";
                                                       *writing = true;
                                                       while (!token->isCancelled())
                                                           std::this_thread::yield();
                                                       std::this_thread::sleep_for(std::chrono::seconds(30));
                                                       std::ofstream(output.parent_path() / "stopped");
                                                   }),
                           token);
    while (!*writing)
        std::this_thread::yield();
    std::exit(EditorApplication::finish(std::move(window), 3));
}

// The application's end does not wait for an export that is slow to stop: the process ends with
// the event loop's status, the export's partial movie goes with it and the older movie at its
// output stays as it was.
TEST(ApplicationEnd, AnExportSlowToStopEndsWithTheProcessLeavingOnlyTheOlderMovie)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path folder = fs::path(VELMORA_TEST_TMP) / "ApplicationEnd";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path master = folder / "master.mp4";
    std::ofstream(master) << "the older movie";

    EXPECT_EXIT(endWhileAnExportIsSlowToStop(master), ::testing::ExitedWithCode(3), "");
    EXPECT_FALSE(fs::exists(folder / "stopped")) << "the end waited for the export";
    EXPECT_EQ(filesStartingWith(folder, {".master.partial-"}), std::vector<std::string>{});
    EXPECT_EQ(test::readTextFile(master), "the older movie");
}

} // namespace
} // namespace velmora::test
