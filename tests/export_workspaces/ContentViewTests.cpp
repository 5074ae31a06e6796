#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"
#include "controls/VelmoraStyleSheet.h"
#include "controls/VelmoraSymbols.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/EngineJobExporter.h"
#include "export_workspaces/ExportDropZone.h"
#include "export_workspaces/PreviewPictureBox.h"

namespace velmora::test {
namespace {

template <typename T>
T* child(const QWidget& view, const char* name)
{
    T* found = view.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

TEST(ContentView, AHandedOverJobShowsItsGradedPreview)
{
    TempDir dir;
    writeMediaFolder(dir / "media", {"a.mp4"}, 25, ClipPattern::testsrc2);
    writeTextFile(dir / "trip_desktop_v2_job.json", timelineJob({"a.mp4"}, 1.0).dump());
    auto queue = std::make_shared<ManualMainQueue>();
    VelmoraWorkflowState workflow;
    workflow.openExportTab(dir / "trip_desktop_v2_job.json", dir / "media");

    ContentView view(workflow, {queue, std::make_shared<EngineJobExporter>(), std::make_shared<FakeFilePanels>(),
                                std::make_shared<FakeFileRevealer>()});
    EXPECT_EQ(view.objectName(), "ContentView");
    view.resize(1280, 900);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_TRUE(child<QWidget>(view, "EditorFootageGroup")->isVisible());
    EXPECT_FALSE(child<QWidget>(view, "MatchGradeInputGroup")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "statusText")->text(),
              QStringLiteral("Loaded from Edit tab \u2014 set output and Export 10-bit HEVC"));

    view.controller().setCompensation(OutputSettings::Compensation::saturation, 1.4);
    view.controller().setPreviewTimeSeconds(0.5);
    QTest::mouseClick(child<QPushButton>(view, "refreshPreview"), Qt::LeftButton);
    ASSERT_TRUE(queue->runUntil([&] { return !view.controller().isPreviewing(); }, 60));
    EXPECT_EQ(child<QLabel>(view, "statusText")->text(), QStringLiteral("Preview updated"));
    EXPECT_FALSE(child<PreviewPictureBox>(view, "previewPicture")->image().isNull());
    const QString caption = child<QLabel>(view, "previewCaption")->text();
    EXPECT_TRUE(caption.startsWith(QStringLiteral("a.mp4  pts=")) && caption.contains(u"[0.00s\u20131.00s]\n"))
        << caption.toStdString();
    EXPECT_TRUE(child<QWidget>(view, "previewTime")->isVisible());

    const QString folder = QStringLiteral(VELMORA_BUILD_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(view.grab().save(folder + QStringLiteral("/tenbit.png")));
}

class ContentViewWithFakes : public WorkspaceTest {
protected:
    ContentViewWithFakes() : view(workflow, {queue, exporter, panels, revealer}) { view.show(); }
    ContentView view;
};

// The settings column takes its full width before the preview grows, and at the smallest
// window still shows its rows whole.
TEST_F(ContentViewWithFakes, TheSettingsColumnShowsItsRowsWhole)
{
    view.setStyleSheet(VelmoraStyleSheet::applicationStyleSheet());
    auto* column = child<QScrollArea>(view, "SettingsColumn");
    for (const QSize size : {QSize(1100, 720), QSize(1280, 900), QSize(1600, 1000)}) {
        view.resize(size);
        QApplication::processEvents();
        EXPECT_GE(column->viewport()->width(), column->widget()->minimumSizeHint().width()) << size.width();
    }
    EXPECT_EQ(column->width(), 560);
}

// At the smallest window, with the settings of a timeline job taller than the column, the status
// line shows whole without scrolling, however many lines its text takes.
TEST_F(ContentViewWithFakes, TheStatusLineIsWholeAtTheSmallestWindow)
{
    view.setStyleSheet(VelmoraStyleSheet::applicationStyleSheet());
    view.resize(1100, 720);
    view.controller().pickJob();
    panels->choose(writeTimelineJob());
    auto* status = child<QLabel>(view, "statusText");
    for (const QString& text :
         {QStringLiteral("Ready"),
          QStringLiteral("Exporting\u2026 42% \u2014 00:12 left (1234 / 2940 frames)"),
          QStringLiteral("Done: /home/someone/Videos/exports/a_rather_long_folder_name/trip_to_the_mountains_final_"
                         "graded_10bit.mov")}) {
        status->setText(text);
        QApplication::processEvents();
        const QRect shown(status->mapTo(&view, QPoint(0, 0)), status->size());
        EXPECT_GE(status->height(), status->heightForWidth(status->width())) << text.toStdString();
        EXPECT_TRUE(view.rect().contains(shown)) << text.toStdString();
        EXPECT_TRUE(status->visibleRegion().boundingRect() == status->rect()) << text.toStdString();
    }
}

TEST_F(ContentViewWithFakes, EachGroupShowsItsSymbolDrawn)
{
    QStringList shown;
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        const QString symbol = label->property(VelmoraSymbols::propertyName).toString();
        if (symbol.isEmpty())
            continue;
        shown << symbol;
        EXPECT_FALSE(label->pixmap().isNull()) << symbol.toStdString();
        EXPECT_TRUE(label->text().isEmpty()) << symbol.toStdString();
    }
    shown.sort();
    EXPECT_EQ(shown, QStringList({"doc.text", "eye", "film.stack", "square.and.arrow.down", "wand.and.stars"}));
}

TEST_F(ContentViewWithFakes, FilesDroppedOnTheDropZoneReachTheWorkspace)
{
    auto* zone = child<ExportDropZone>(view, "ExportDropZone");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(writeTimelineJob().string()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(view.controller().isDropTarget());
    EXPECT_TRUE(zone->findChildren<QLabel*>().at(1)->text() == QStringLiteral("Drop now\u2026"));

    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(view.controller().isDropTarget());
    queue->runUntilIdle();
    EXPECT_EQ(view.controller().jobKind(), ExportWorkspaceController::JobKind::timeline);
    EXPECT_TRUE(child<QWidget>(view, "EditorFootageGroup")->isVisible());
    EXPECT_FALSE(child<QPushButton>(view, "export")->isEnabled());
}

TEST_F(ContentViewWithFakes, AFailedExportOpensTheAlertUntilItIsClosed)
{
    view.controller().pickJob();
    panels->choose(writeSingleVideoJob());
    view.controller().pickInput();
    panels->choose(dir / "A001.MOV");
    QTest::mouseClick(child<QPushButton>(view, "export"), Qt::LeftButton);
    EXPECT_EQ(child<QPushButton>(view, "export")->text(), QStringLiteral("Exporting\u2026"));
    exporter->failExport(0, std::make_exception_ptr(Error("export", 201, "Choose Input Video.")));
    ASSERT_TRUE(queue->runUntil([&] { return !view.controller().isExporting(); }, 60));

    auto* alert = child<QMessageBox>(view, "ExportFailedAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Export Failed"));
    EXPECT_EQ(alert->text(), QStringLiteral("Error Domain=export Code=201 \"Choose Input Video.\""));
    alert->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(view.controller().showError());
}

// The box of the quit question, and its buttons' titles.
QStringList buttonTitles(const QMessageBox& box)
{
    QStringList titles;
    for (const QAbstractButton* button : box.buttons())
        titles << button->text();
    titles.sort();
    return titles;
}

QAbstractButton* buttonTitled(const QMessageBox& box, const QString& title)
{
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == title)
            return button;
    }
    ADD_FAILURE() << title.toStdString();
    return nullptr;
}

// Closing the window (its close button, Ctrl+Q) during an export asks in a box; "Cancel" keeps
// everything, "Stop & Quit" stops the export and lets the window close at once; the stopped
// export's end shows no alert.
TEST_F(ContentViewWithFakes, QuittingDuringAnExportAsksInABox)
{
    view.controller().pickJob();
    panels->choose(writeSingleVideoJob());
    view.controller().pickInput();
    panels->choose(dir / "A001.MOV");
    QTest::mouseClick(child<QPushButton>(view, "export"), Qt::LeftButton);
    FakeJobExporter::ExportCall& call = exporter->exportCall(0);
    int quits = 0;

    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    QPointer<QMessageBox> box = child<QMessageBox>(view, "quitQuestion");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Stop the export and quit?"));
    EXPECT_EQ(buttonTitles(*box), (QStringList{QStringLiteral("Cancel"), QStringLiteral("Stop && Quit")}));
    buttonTitled(*box, QStringLiteral("Cancel"))->click();
    EXPECT_FALSE(view.controller().quitQuestion());
    EXPECT_TRUE(view.controller().isExporting());
    EXPECT_FALSE(call.isCancelled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());

    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    box = child<QMessageBox>(view, "quitQuestion");
    ASSERT_NE(box, nullptr);
    buttonTitled(*box, QStringLiteral("Stop && Quit"))->click();
    EXPECT_TRUE(call.isCancelled());
    EXPECT_EQ(quits, 1);
    exporter->failExport(0, std::make_exception_ptr(Error("export", 248, "Export cancelled.")));
    ASSERT_TRUE(queue->runUntil([&] { return !view.controller().isExporting(); }, 60));
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(view.controller().showError());
    EXPECT_EQ(view.findChild<QMessageBox*>(QStringLiteral("ExportFailedAlert")), nullptr);
}

// Export over a movie nobody chose for this job asks in a box; "Cancel" starts nothing.
TEST_F(ContentViewWithFakes, ReplacingAMovieNotChosenForTheJobAsksInABox)
{
    writeTextFile(dir / "A001_velmora_10bit.mov", "earlier movie");
    view.controller().pickJob();
    panels->choose(writeSingleVideoJob());
    view.controller().pickInput();
    panels->choose(dir / "A001.MOV");
    for (const QString& answer : {QStringLiteral("Cancel"), QStringLiteral("Replace")}) {
        QTest::mouseClick(child<QPushButton>(view, "export"), Qt::LeftButton);
        QPointer<QMessageBox> box = child<QMessageBox>(view, "replaceQuestion");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("\u201CA001_velmora_10bit.mov\u201D already exists. Do you want to replace it?"));
        buttonTitled(*box, answer)->click();
        EXPECT_FALSE(view.controller().replaceQuestion());
        EXPECT_EQ(view.controller().isExporting(), answer == QStringLiteral("Replace"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(exporter->exportCall(0).request.outputURL, dir / "A001_velmora_10bit.mov");
}

} // namespace
} // namespace velmora::test
