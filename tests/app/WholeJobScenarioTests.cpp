// The whole job on the real window, as a user does it from a new project to the 10-bit master:
// nothing on the way loses work, and every picture agrees with what is exported.
#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "AppScenario.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraSegmentedPicker.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "inspectors/SourceViewer.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/pool/MediaPoolGrid.h"
#include "workspace/pool/MediaPoolView.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// Starting with "New": two clips and a still imported through the import panel and placed from
// their source viewers; A002 split at 5 s with the still, 0.1 s long, kept at the end; A001
// given the Split LUT with the top bar's picker (its graded still red and blue); paused at the
// timeline's end, A002's tail dragged onto V2 under the playhead, and the monitor shows its
// frame. "10-bit Export Tab →" then asks, and Cancel keeps everything; Ctrl+S saves through the
// save panel; the hand-off goes through without a question, and the 10-bit Export workspace's
// preview at 1 s is the exported master's frame at 1 s. Every step is real input on the window.
TEST_F(AppScenario, TheWholeJobLosesNothingAndThePreviewIsTheExportedFrame)
{
    const auto session = [this] { return engine().session(); };
    // The video and image clips of the timeline (each video brings its linked audio clip too).
    const auto pictures = [&] {
        std::vector<EditSession::Clip> shown = session()->activeTimeline()->clips;
        std::erase_if(shown, [](const EditSession::Clip& clip) { return clip.type == "audio"; });
        return shown;
    };

    // New: the opened project has no unsaved changes, so nothing asks.
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("New")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return session()->sources.empty() && !workspace().sessionURL(); }, "a new project"));
    EXPECT_EQ(edit().discardDialog(), nullptr);
    ASSERT_TRUE(workspace().mediaFolderURL());
    const fs::path media = *workspace().mediaFolderURL();

    // Import: one panel, "Import Media"; in the folder the media are in, a click on the first
    // clip and Ctrl+clicks on the second and the still.
    QTest::mouseClick(edit().findChild<MediaPoolView*>()->importButton(), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the import panel"));
    panel->setDirectory(QString::fromStdString(project.media.string()));
    auto* list = panel->findChild<QListView*>(QStringLiteral("listView"));
    auto* entries = qobject_cast<QFileSystemModel*>(list->model());
    ASSERT_NE(entries, nullptr);
    const auto entry = [&](const char* name) {
        return list->visualRect(entries->index(QString::fromStdString((project.media / name).string())));
    };
    ASSERT_TRUE(waitFor([&] { return entry("A001.mp4").isValid() && entry("Card.png").isValid(); }, "the listing"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry("A001.mp4").center());
    for (const char* name : {"A002.mp4", "Card.png"})
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry(name).center());
    QAbstractButton* importButton = test::buttonTitled(*panel, QStringLiteral("Import Media"));
    ASSERT_NE(importButton, nullptr);
    EXPECT_EQ(panel->selectedFiles().size(), 3);
    QTest::mouseClick(importButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return session()->sources.size() == 3; }, "three sources")) << engine().status();
    // The clips run at 30 fps, the new project at 59.94: it asks, and takes the clips' rate.
    ASSERT_TRUE(waitFor([&] { return edit().frameRateQuestionBox() && edit().frameRateQuestionBox()->isVisible(); },
                        "the frame-rate question"));
    EXPECT_EQ(edit().frameRateQuestionBox()->text(), "Match project frame rate to clip?");
    pressRole(*edit().frameRateQuestionBox(), QMessageBox::AcceptRole);
    // The click itself takes the answer: if the rate is missing, this says whether the answer
    // never arrived or was undone later.
    ASSERT_FALSE(workspace().frameRateQuestion().has_value()) << "the answer was not taken";
    ASSERT_TRUE(waitFor([&] { return session()->project->fps == 30.0; }, "the project at 30 fps")) << engine().status();

    // Placing: a double click on each card opens its source viewer; "Add to Timeline" puts the
    // whole file (a still: 0.1 s) at the timeline's end.
    auto* pool = edit().findChild<MediaPoolGrid*>();
    for (const std::string name : {"A001.mp4", "A002.mp4", "Card.png"}) {
        const std::vector<MediaPoolGrid::Card>& cards = pool->cards();
        const auto card = std::find_if(cards.begin(), cards.end(), [&](const auto& c) { return c.fileName == name; });
        ASSERT_NE(card, cards.end()) << name;
        const std::size_t before = pictures().size();
        QTest::mouseDClick(pool, Qt::LeftButton, {}, pool->cardRect(int(card - cards.begin())).center());
        SourceViewer* viewer = nullptr;
        ASSERT_TRUE(waitFor(
            [&] {
                QWidget* window = edit().sourceViewerWindow();
                viewer = window && window->isVisible() ? window->findChild<SourceViewer*>() : nullptr;
                return viewer && (name == "Card.png" || viewer->controller().didApplyInitialMarks());
            },
            "the source viewer of " + name));
        QTest::mouseClick(viewer->findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return pictures().size() == before + 1; }, "the placed " + name));
    }
    const std::string a001 = pictures()[0].id;
    const std::string a002 = pictures()[1].id;
    const std::string card = pictures()[2].id;
    const auto placed = [&](const std::string& id) {
        const EditSession::Clip clip = *session()->clip(id);
        return std::make_tuple(*clip.startTime, *clip.duration, *clip.track);
    };
    EXPECT_EQ(placed(a001), std::make_tuple(0.0, 3.0, 1));
    EXPECT_EQ(placed(a002), std::make_tuple(3.0, 4.0, 1));
    EXPECT_EQ(placed(card), std::make_tuple(7.0, 0.1, 1));

    // Split A002 at 5 s with the split key: the still at the end keeps its place and length.
    ASSERT_NEAR(seekWithRuler(5.0), 5.0, 0.02);
    QTest::keyClick(&window(), Qt::Key_S);
    ASSERT_TRUE(waitFor([&] { return pictures().size() == 4; }, "the split"));
    const std::optional<EditSession::Clip> still = session()->clip(card);
    ASSERT_TRUE(still) << "the split removed the still";
    EXPECT_EQ(placed(card), std::make_tuple(7.0, 0.1, 1));
    const std::vector<EditSession::Clip> cut = pictures();
    const auto tail = std::find_if(cut.begin(), cut.end(), [&](const auto& clip) {
        return clip.sourceId == session()->clip(a002)->sourceId && clip.id != a002;
    });
    ASSERT_NE(tail, cut.end());
    const EditSession::Clip a002Tail = *tail;
    EXPECT_NEAR(*a002Tail.startTime, engine().playheadSeconds(), 1e-9);

    // The Split LUT, copied into the media folder by hand, from the Clip LUT picker for A001.
    fs::copy_file(project.media / "Split.cube", media / "Split.cube");
    TimelineStripView& strip = timeline();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(strip.model(), a001).center().toPoint());
    ASSERT_EQ(engine().selectedClipId(), a001);
    VelmoraDarkPopUpPicker& lut = *edit().topBar()->clipLutPicker();
    QTest::mouseClick(&lut, Qt::LeftButton);
    QAbstractItemView* lutList = lut.view();
    // Opening the list lists the LUT files again, on a worker: the copied one joins the rows.
    ASSERT_TRUE(waitFor([&] { return lutList->isVisible() && lut.findText(QStringLiteral("Split.cube")) >= 0; },
                        "the LUT copied in, in the list"));
    const int row = lut.findText(QStringLiteral("Split.cube"));
    while (lutList->currentIndex().row() != row)
        QTest::keyClick(lutList, lutList->currentIndex().row() < row ? Qt::Key_Down : Qt::Key_Up);
    QTest::keyClick(lutList, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return session()->clipLutReference(a001) == "Split.cube"; }, "A001's LUT"));
    const double playhead = seekWithRuler(1.5);
    const int a001Frame = static_cast<int>(std::lround(playhead * ScenesProject::fps));
    ASSERT_TRUE(waitForGradedStill(a001Frame));
    const QImage shot = screenshot("wholejob-1-graded.png", globalRect(window()));
    const QRect monitor = programFrame(programView());
    EXPECT_EQ(stampIn(shot, monitor), a001Frame);
    for (int bar = 0; bar < 16; ++bar) {
        const QRgb colour = shot.pixel(monitor.left() + int((bar + 0.5) * monitor.width() / 16), monitor.center().y());
        EXPECT_TRUE(near(colour, (a001Frame >> bar) & 1 ? qRgb(255, 0, 0) : qRgb(0, 0, 255), 40)) << "bar " << bar;
    }

    // The arrow key jumps from cut to cut to the timeline's end, where no clip is under the
    // playhead; there, while paused, A002's tail is dragged one lane down (V2) and right until it
    // snaps to the playhead. The lowest lane number is drawn on top: nothing covers it on V1.
    while (engine().playheadSeconds() < *still->startTime + *still->duration - 1e-6) {
        const double before = engine().playheadSeconds();
        QTest::keyClick(&window(), Qt::Key_Down);
        ASSERT_TRUE(waitFor([&] { return engine().playheadSeconds() > before; }, "the next cut"));
    }
    const double end = engine().playheadSeconds();
    QScreen& screen = *window().screen();
    const auto shownFrame = [&] {
        const QImage now = screen.grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
        return stampIn(now, now.rect());
    };
    const int a002Frame = static_cast<int>(std::lround(*a002Tail.inPoint * ScenesProject::fps));
    ASSERT_NE(shownFrame(), a002Frame);
    const QPointF from = blockOf(strip.model(), a002Tail.id).center();
    const double shift = strip.model().xForTime(end) - strip.model().xForTime(*a002Tail.startTime);
    const QPointF to = from + QPointF(shift, strip.model().lanePitch());
    QTest::mousePress(strip.viewport(), Qt::LeftButton, {}, from.toPoint());
    for (int step = 1; step <= 8; ++step)
        QTest::mouseMove(strip.viewport(), (from + (to - from) * step / 8.0).toPoint());
    QTest::mouseRelease(strip.viewport(), Qt::LeftButton, {}, to.toPoint());
    ASSERT_TRUE(waitFor([&] { return session()->clip(a002Tail.id)->track == 2; }, "the move onto V2"));
    ASSERT_NEAR(*session()->clip(a002Tail.id)->startTime, end, 1e-9) << "not snapped to the playhead";
    EXPECT_NEAR(engine().playheadSeconds(), end, 1e-9);
    ASSERT_TRUE(waitFor([&] { return shownFrame() == a002Frame; },
                        "the monitor to show A002's frame " + std::to_string(a002Frame)))
        << shownFrame();
    screenshot("wholejob-2-moved.png", globalRect(window()));

    // The hand-off with unsaved changes asks; Cancel keeps the workspace, its edits, and no job.
    ASSERT_TRUE(workspace().projectDirty());
    const std::vector<std::string> edited = describeTimeline(*session());
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("10-bit Export Tab →")), Qt::LeftButton);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(waitFor([&] { return (question = edit().discardDialog()) && question->isVisible(); }, "the question"));
    EXPECT_EQ(question->text(), "Discard unsaved changes?");
    EXPECT_NE(test::buttonTitled(*question, QStringLiteral("Discard & Switch")), nullptr);
    screenshot("wholejob-3-question.png");
    pressRole(*question, QMessageBox::RejectRole);
    ASSERT_TRUE(waitFor([&] { return edit().discardDialog() == nullptr; }, "the question to close"));
    EXPECT_EQ(window().modePicker()->currentIndex(), 0);
    EXPECT_EQ(describeTimeline(*session()), edited);
    EXPECT_TRUE(workspace().projectDirty());
    EXPECT_FALSE(window().workflow().exportJobURL());

    // Ctrl+S: a project never saved asks for its file.
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 60000));
    QTest::keyClick(&window(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    const fs::path saved = folders.scratch() / "Whole.tavlek";
    choose(*panel, saved);
    ASSERT_TRUE(waitFor([&] { return !workspace().projectDirty(); }, "the save"));
    EXPECT_EQ(workspace().sessionURL(), saved);
    EXPECT_TRUE(fs::exists(saved));

    // The hand-off now goes through at once.
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("10-bit Export Tab →")), Qt::LeftButton);
    ContentView* tenBit = nullptr;
    ASSERT_TRUE(waitForTenBitWorkspace(tenBit));
    ExportWorkspaceController& job = tenBit->controller();
    ASSERT_TRUE(waitFor([&] { return job.inputsComplete(); }, "the handed-over job"));
    EXPECT_EQ(job.mediaFolderURL(), media);

    // The preview at 1 s (A001, under its LUT), then the master exported to a file of the panel.
    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("refreshPreview")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !job.isPreviewing() && !job.previewImage().isNull(); }, "the first preview"))
        << job.statusText();
    auto* time = tenBit->findChild<QSlider*>(QStringLiteral("previewTime"));
    const double step = (job.previewMaxSeconds() - job.previewMinSeconds()) / time->maximum();
    time->setValue(static_cast<int>(std::lround((1.0 - job.previewMinSeconds()) / step)));
    ASSERT_TRUE(waitFor([&] { return !job.isPreviewing() && std::abs(job.previewTimeSeconds() - 1.0) < 1e-6; },
                        "the preview at 1 s"));
    EXPECT_EQ(job.statusText(), "Preview updated");
    const QImage preview = job.previewImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(stampIn(preview, preview.rect()), 30);

    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("export")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the output panel"));
    choose(*panel, folders.scratch() / "Whole_master.mov");
    ASSERT_TRUE(waitFor([&] { return job.isExporting(); }, "the export to start"));
    ASSERT_TRUE(waitFor([&] { return !job.isExporting(); }, "the export", 1200)) << job.statusText();
    ASSERT_TRUE(job.outputURL());
    EXPECT_EQ(job.statusText(), "Done: " + job.outputURL()->string());
    screenshot("wholejob-4-exported.png", globalRect(window()));

    // The exported frame at 1 s against the preview, in the middles of the stamp's bars: 8-bit
    // rounding plus the encoder's noise on flat areas.
    const Image frame = decodedFrame(*job.outputURL(), 1.0);
    ASSERT_EQ(QSize(frame.width(), frame.height()), preview.size());
    for (int bar = 0; bar < 16; ++bar) {
        for (const int y : {preview.height() / 4, preview.height() / 2, preview.height() * 3 / 4}) {
            const int x = static_cast<int>((bar + 0.5) * preview.width() / 16);
            const float* exported = frame.row(y) + x * 4;
            const auto level = [&](int c) { return int(std::lround(std::clamp(exported[c], 0.0f, 1.0f) * 255)); };
            EXPECT_TRUE(near(preview.pixel(x, y), qRgb(level(0), level(1), level(2)), 8)) << "bar " << bar << " y " << y;
            EXPECT_TRUE(near(preview.pixel(x, y), (30 >> bar) & 1 ? qRgb(255, 0, 0) : qRgb(0, 0, 255), 40))
                << "bar " << bar << " is not graded";
        }
    }
}

} // namespace
} // namespace velmora::test
