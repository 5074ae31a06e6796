#include <gtest/gtest.h>

#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ExportSheetTestSupport.h"
#include "controls/VelmoraPalette.h"
#include "controls/VelmoraStyleSheet.h"
#include "export_workspaces/EditorExportSheet.h"

namespace velmora::test {
namespace {

// A shown sheet over a harness whose exporter is scripted.
struct SheetUnderTest {
    SheetUnderTest() : h(true, true, false), sheet(h.engine, h.mediaFolder, std::nullopt, h.onDismiss(), h.services())
    {
        h.watch(sheet.controller());
        sheet.show();
    }

    QWidget* child(const char* name) const { return sheet.findChild<QWidget*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) const { return qobject_cast<QPushButton*>(child(name)); }
    bool shown(const char* name) const { return child(name)->isVisibleTo(&sheet); }
    QString text(const char* name) const { return qobject_cast<QLabel*>(child(name))->text(); }
    QRadioButton* radio(int index) const { return sheet.findChildren<QRadioButton*>().at(index); }
    void exportTo(const std::filesystem::path& output)
    {
        QTest::mouseClick(button("exportButton"), Qt::LeftButton);
        h.panels->choose(output);
    }

    SheetHarness h;
    EditorExportSheet sheet;
};

TEST(ExportSheetWidget, RowsAndButtonsFollowTheModeAndTheFormat)
{
    SheetUnderTest t;
    EXPECT_EQ(t.sheet.objectName(), "EditorExportSheet");
    EXPECT_EQ(t.sheet.width(), 480);
    EXPECT_EQ(t.radio(0)->text(), "10-bit HEVC (Master)");
    EXPECT_TRUE(t.radio(0)->isChecked());
    EXPECT_TRUE(t.button("exportButton")->isEnabled());
    // Shown with its "&", which is no keyboard mnemonic.
    EXPECT_TRUE(QKeySequence::mnemonic(t.button("exportButton")->text()).isEmpty());
    EXPECT_EQ(t.button("exportButton")->text().replace(QStringLiteral("&&"), QStringLiteral("&")),
              "Choose Output & Export");
    EXPECT_TRUE(t.shown("closeButton"));
    EXPECT_FALSE(t.shown("cancelExportButton"));
    EXPECT_FALSE(t.shown("progressSection"));
    EXPECT_EQ(t.text("bitrateValue"), "150 Mbps");

    QTest::mouseClick(t.radio(2), Qt::LeftButton);
    EXPECT_EQ(t.sheet.controller().format(), EditorExportFormat::proRes422);
    EXPECT_FALSE(t.shown("bitrateRow"));
    QTest::mouseClick(t.radio(1), Qt::LeftButton);
    EXPECT_TRUE(t.shown("bitrateRow"));

    t.exportTo(t.h.media / "cut.mp4");
    EXPECT_EQ(t.button("exportButton")->text(), "Exporting\u2026");
    EXPECT_FALSE(t.button("exportButton")->isEnabled());
    EXPECT_TRUE(t.shown("cancelExportButton"));
    EXPECT_FALSE(t.shown("closeButton"));
    EXPECT_FALSE(t.radio(0)->isEnabled());
    EXPECT_FALSE(t.child("bitrateSlider")->isEnabled());
    EXPECT_TRUE(t.shown("progressSection"));
    EXPECT_FALSE(t.shown("etaLabel"));

    t.h.clock->advance(30);
    t.h.runner->report(617, 5000);
    ASSERT_TRUE(t.h.runUntil([&] { return t.text("percentLabel") == "12.3%"; }));
    EXPECT_EQ(t.text("etaLabel"), "ETA 3m 33s");
    EXPECT_EQ(t.text("progressDetailLabel"), "Rendering video \u2014 frame 617 / 5000");

    QTest::mouseClick(t.button("cancelExportButton"), Qt::LeftButton);
    EXPECT_EQ(t.text("statusLabel"), "Cancelling\u2026");
    ASSERT_TRUE(t.h.runUntilIdle());
    EXPECT_FALSE(t.shown("progressSection"));
    EXPECT_TRUE(t.radio(0)->isEnabled());
}

TEST(ExportSheetWidget, EscapeReturnAndTheCloseButtonCannotEndAnExport)
{
    SheetUnderTest t;
    t.exportTo(t.h.media / "cut.mp4");
    QTest::keyClick(&t.sheet, Qt::Key_Escape);
    EXPECT_FALSE(t.sheet.close());
    t.button("cancelExportButton")->setFocus();
    QTest::keyClick(t.button("cancelExportButton"), Qt::Key_Return);
    EXPECT_EQ(t.h.dismissals, 0);
    EXPECT_TRUE(t.sheet.isVisible());
    EXPECT_NE(t.sheet.controller().status(), "Cancelling\u2026");

    t.h.runner->finish({t.h.media / "cut.mp4", 25, 160, 96});
    ASSERT_TRUE(t.h.runUntilIdle());
    // Idle: Escape, "Close" and the window's close ask the owner; the sheet waits for it.
    QTest::keyClick(&t.sheet, Qt::Key_Escape);
    EXPECT_EQ(t.h.dismissals, 1);
    EXPECT_TRUE(t.sheet.isVisible());
    QTest::mouseClick(t.button("closeButton"), Qt::LeftButton);
    EXPECT_TRUE(t.sheet.close());
    EXPECT_EQ(t.h.dismissals, 3);
}

TEST(ExportSheetWidget, AFailureRaisesTheExportErrorAlertWithTheMessage)
{
    SheetUnderTest t;
    t.exportTo(t.h.media / "cut.mp4");
    t.h.runner->fail(Error("export", 211, "Timeline duration is zero."));
    ASSERT_TRUE(t.h.runUntilIdle());

    QMessageBox* alert = t.sheet.errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Export Error");
    EXPECT_EQ(alert->text(), "Timeline duration is zero.");
    EXPECT_EQ(alert->buttons().size(), 1);
    QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_EQ(t.sheet.errorAlert(), nullptr);
    EXPECT_FALSE(t.sheet.controller().showError());
}

TEST(ExportSheetWidget, ScreenshotMidExport)
{
    // The application's look, for this test only.
    const QPalette palette = QApplication::palette();
    const QString styleSheet = qApp->styleSheet();
    QApplication::setPalette(VelmoraPalette::darkPalette());
    qApp->setStyleSheet(VelmoraStyleSheet::applicationStyleSheet());
    {
        SheetUnderTest t;
        QTest::mouseClick(t.radio(1), Qt::LeftButton);
        t.sheet.controller().setBitrateMbps(80);
        t.exportTo(t.h.media / "Holiday_export.mp4");
        t.h.clock->advance(47);
        t.h.runner->report(1016, 2400);
        ASSERT_TRUE(t.h.runUntil([&] { return t.sheet.controller().progressFraction() > 0; }));

        const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(t.sheet.grab().save(QString::fromStdString((folder / "export_sheet.png").string())));
        t.sheet.controller().requestCancel();
        EXPECT_TRUE(t.h.runUntilIdle());
    }
    qApp->setStyleSheet(styleSheet);
    QApplication::setPalette(palette);
}

} // namespace
} // namespace velmora::test
