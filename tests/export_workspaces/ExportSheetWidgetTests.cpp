#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ExportSheetTestSupport.h"
#include "controls/VelmoraPalette.h"
#include "controls/VelmoraStyleSheet.h"
#include "controls/VelmoraToolbarSlider.h"
#include "export_workspaces/EditorExportSheet.h"

namespace velmora::test {
namespace {

// A sheet over a harness whose exporter is scripted.
struct SheetUnderTest {
    SheetUnderTest() : h(true, true, false), sheet(h.engine, h.mediaFolder, std::nullopt, h.onDismiss(), h.services())
    {
        h.watch(sheet.controller());
        sheet.show();
    }

    template <class T>
    T* child(const char* name) const
    {
        T* found = sheet.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QRadioButton* radio(const std::string& title) const
    {
        for (QRadioButton* button : sheet.findChildren<QRadioButton*>()) {
            if (button->text() == QString::fromStdString(title))
                return button;
        }
        ADD_FAILURE() << title;
        return nullptr;
    }
    bool shown(const char* name) const { return child<QWidget>(name)->isVisibleTo(&sheet); }
    QString text(const char* name) const { return child<QLabel>(name)->text(); }
    void clickExportAndChoose(const std::filesystem::path& output)
    {
        QTest::mouseClick(child<QPushButton>("exportButton"), Qt::LeftButton);
        ASSERT_TRUE(h.panels->hasOpenPanel());
        h.panels->choose(output);
    }

    SheetHarness h;
    EditorExportSheet sheet;
};

TEST(ExportSheetWidget, IdleShowsTheFormatsBitrateCloseAndStatus)
{
    SheetUnderTest t;
    EXPECT_EQ(t.sheet.objectName(), "EditorExportSheet");
    EXPECT_EQ(t.sheet.width(), 480);
    QStringList titles;
    for (QRadioButton* radio : t.sheet.findChildren<QRadioButton*>())
        titles << radio->text();
    EXPECT_EQ(titles, (QStringList{"10-bit HEVC (Master)", "H.264 (Delivery)", "ProRes 422 (Delivery)"}));
    EXPECT_TRUE(t.radio("10-bit HEVC (Master)")->isChecked());

    EXPECT_EQ(t.child<QPushButton>("exportButton")->text(), "Choose Output & Export");
    EXPECT_TRUE(t.child<QPushButton>("exportButton")->isEnabled());
    EXPECT_TRUE(t.shown("closeButton"));
    EXPECT_FALSE(t.shown("cancelExportButton"));
    EXPECT_FALSE(t.shown("progressSection"));
    EXPECT_TRUE(t.shown("bitrateRow"));
    EXPECT_EQ(t.text("bitrateValue"), "150 Mbps");
    EXPECT_EQ(t.text("statusLabel"), "Choose format and destination.");

    QTest::mouseClick(t.radio("ProRes 422 (Delivery)"), Qt::LeftButton);
    EXPECT_EQ(t.sheet.controller().format(), EditorExportFormat::proRes422);
    EXPECT_FALSE(t.shown("bitrateRow"));
    t.sheet.controller().setBitrateMbps(40);
    QTest::mouseClick(t.radio("H.264 (Delivery)"), Qt::LeftButton);
    EXPECT_TRUE(t.shown("bitrateRow"));
    EXPECT_EQ(t.text("bitrateValue"), "40 Mbps");
    EXPECT_EQ(t.child<VelmoraToolbarSlider>("bitrateSlider")->shownValue(), 40);

    // Without a media folder the button is disabled.
    SheetHarness bare(true, false, false);
    EditorExportSheet noFolder(bare.engine, std::nullopt, std::nullopt, bare.onDismiss(), bare.services());
    EXPECT_FALSE(noFolder.findChild<QPushButton*>("exportButton")->isEnabled());
}

TEST(ExportSheetWidget, ExportingShowsProgressAndCancelAndLocksTheControls)
{
    SheetUnderTest t;
    t.clickExportAndChoose(t.h.media / "cut.mp4");
    EXPECT_EQ(t.child<QPushButton>("exportButton")->text(), "Exporting\u2026");
    EXPECT_FALSE(t.child<QPushButton>("exportButton")->isEnabled());
    EXPECT_TRUE(t.shown("cancelExportButton"));
    EXPECT_FALSE(t.shown("closeButton"));
    EXPECT_FALSE(t.radio("H.264 (Delivery)")->isEnabled());
    EXPECT_FALSE(t.child<QWidget>("bitrateSlider")->isEnabled());
    EXPECT_TRUE(t.shown("progressSection"));
    EXPECT_EQ(t.text("percentLabel"), "0.0%");
    EXPECT_FALSE(t.shown("etaLabel"));

    t.h.clock->advance(30);
    t.h.runner->report(617, 5000);
    ASSERT_TRUE(t.h.runUntil([&] { return t.text("percentLabel") == "12.3%"; }));
    EXPECT_EQ(t.text("etaLabel"), "ETA 3m 33s");
    EXPECT_TRUE(t.shown("etaLabel"));
    EXPECT_EQ(t.text("progressDetailLabel"), "Rendering video \u2014 frame 617 / 5000");
    EXPECT_EQ(t.text("statusLabel"), "Exporting\u2026 12.3%");

    QTest::mouseClick(t.child<QPushButton>("cancelExportButton"), Qt::LeftButton);
    EXPECT_EQ(t.text("statusLabel"), "Cancelling\u2026");
    EXPECT_TRUE(t.shown("progressSection"));
    ASSERT_TRUE(t.h.runUntilIdle());
    EXPECT_FALSE(t.shown("progressSection"));
    EXPECT_TRUE(t.shown("closeButton"));
    EXPECT_TRUE(t.radio("H.264 (Delivery)")->isEnabled());
}

TEST(ExportSheetWidget, EscapeReturnAndTheCloseButtonCannotEndAnExport)
{
    SheetUnderTest t;
    t.clickExportAndChoose(t.h.media / "cut.mp4");

    QTest::keyClick(&t.sheet, Qt::Key_Escape);
    EXPECT_FALSE(t.sheet.close());
    QPushButton* cancel = t.child<QPushButton>("cancelExportButton");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_EQ(t.h.dismissals, 0);
    EXPECT_TRUE(t.sheet.isVisible());
    EXPECT_TRUE(t.sheet.controller().isExporting());
    EXPECT_NE(t.sheet.controller().status(), "Cancelling\u2026");

    t.h.runner->finish({t.h.media / "cut.mp4", 25, 160, 96});
    ASSERT_TRUE(t.h.runUntilIdle());
    // Idle: Escape and "Close" ask the owner, who closes the sheet; the sheet stays until then.
    QTest::keyClick(&t.sheet, Qt::Key_Escape);
    EXPECT_EQ(t.h.dismissals, 1);
    EXPECT_TRUE(t.sheet.isVisible());
    QTest::mouseClick(t.child<QPushButton>("closeButton"), Qt::LeftButton);
    EXPECT_EQ(t.h.dismissals, 2);
    EXPECT_TRUE(t.sheet.close());
    EXPECT_EQ(t.h.dismissals, 3);
}

TEST(ExportSheetWidget, AFailureRaisesTheExportErrorAlertWithTheMessage)
{
    SheetUnderTest t;
    t.clickExportAndChoose(t.h.media / "cut.mp4");
    t.h.runner->fail(Error("export", 211, "Timeline duration is zero."));
    ASSERT_TRUE(t.h.runUntilIdle());

    QMessageBox* alert = t.sheet.errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Export Error");
    EXPECT_EQ(alert->text(), "Timeline duration is zero.");
    EXPECT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(t.text("statusLabel"), "Export failed.");

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
        QTest::mouseClick(t.radio("H.264 (Delivery)"), Qt::LeftButton);
        t.sheet.controller().setBitrateMbps(80);
        t.clickExportAndChoose(t.h.media / "Holiday_export.mp4");
        t.h.clock->advance(47);
        t.h.runner->report(1016, 2400);
        ASSERT_TRUE(t.h.runUntil([&] { return t.sheet.controller().progressFraction() > 0; }));

        const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
        std::filesystem::create_directories(folder);
        const QImage image = t.sheet.grab().toImage();
        EXPECT_TRUE(image.save(QString::fromStdString((folder / "export_sheet.png").string())));
        EXPECT_EQ(image.width(), 480 * image.devicePixelRatio());

        t.sheet.controller().requestCancel();
        EXPECT_TRUE(t.h.runUntilIdle());
    }
    qApp->setStyleSheet(styleSheet);
    QApplication::setPalette(palette);
}

} // namespace
} // namespace velmora::test
