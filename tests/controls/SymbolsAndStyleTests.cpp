#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QSvgRenderer>
#include <gtest/gtest.h>

#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraPalette.h"
#include "controls/VelmoraSegmentedPicker.h"
#include "controls/VelmoraStyleSheet.h"
#include "controls/VelmoraSymbols.h"
#include "controls/VelmoraToolbarSlider.h"

namespace velmora {
namespace {

// Pixels of the symbol that carry any coverage, and whether all of them are in the tint.
struct Coverage {
    int covered = 0;
    bool allTinted = true;
};

Coverage coverageOf(const QPixmap& pixmap, const QColor& tint)
{
    Coverage result;
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            ++result.covered;
            if (std::abs(pixel.red() - tint.red()) > 2 || std::abs(pixel.green() - tint.green()) > 2 ||
                std::abs(pixel.blue() - tint.blue()) > 2)
                result.allTinted = false;
        }
    }
    return result;
}

TEST(VelmoraSymbols, EveryNamedSymbolIsAValidDrawingInTheResource)
{
    const std::vector<std::string>& names = VelmoraSymbols::names();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* used : {"plus", "xmark", "folder", "video", "photo", "speaker.wave.2", "checkmark.circle.fill",
                             "lock.fill", "lock.open", "speaker.slash.fill", "speaker.wave.2.fill", "play.fill",
                             "pause.fill", "doc.text", "film.stack", "wand.and.stars", "square.and.arrow.down", "eye"})
        EXPECT_TRUE(VelmoraSymbols::contains(used)) << used;

    const QColor orange(255, 149, 0);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        // Loading the pixmap registers the resource.
        const QPixmap drawn = VelmoraSymbols::pixmap(name, 24, orange);
        ASSERT_FALSE(drawn.isNull());
        QSvgRenderer renderer(QStringLiteral(":/symbols/%1.svg").arg(QString::fromStdString(name)));
        EXPECT_TRUE(renderer.isValid());
        const Coverage coverage = coverageOf(drawn, orange);
        EXPECT_GT(coverage.covered, 20);
        EXPECT_LT(coverage.covered, 24 * 24 * 3 / 4);
        EXPECT_TRUE(coverage.allTinted);
    }
    EXPECT_TRUE(VelmoraSymbols::pixmap("gear", 24, orange).isNull());
    EXPECT_TRUE(VelmoraSymbols::pixmap("plus", 0, orange).isNull());
}

TEST(VelmoraSymbols, WidgetsCarryTheSymbolName)
{
    QPushButton button(QStringLiteral("Import"));
    VelmoraSymbols::apply(button, "plus");
    EXPECT_EQ(button.property(VelmoraSymbols::propertyName).toString(), "plus");
    EXPECT_FALSE(button.icon().isNull());

    QLabel label;
    VelmoraSymbols::apply(label, "checkmark.circle.fill", 14, QColor(Qt::green));
    EXPECT_EQ(label.property(VelmoraSymbols::propertyName).toString(), "checkmark.circle.fill");
    EXPECT_FALSE(label.pixmap().isNull());
}

TEST(VelmoraStyleSheet, ParsesAndStylesTheSharedControls)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        warnings << text;
    });
    QWidget host;
    host.setStyleSheet(VelmoraStyleSheet::applicationStyleSheet());
    auto* picker = new VelmoraDarkPopUpPicker(&host);
    auto* segments = new VelmoraSegmentedPicker(QStringLiteral("Mode"), {QStringLiteral("Edit"), QStringLiteral("10-bit Export")}, &host);
    auto* slider = new VelmoraToolbarSlider(0, 1, 0, &host);
    host.ensurePolished();
    for (QWidget* widget : {static_cast<QWidget*>(picker), static_cast<QWidget*>(segments), static_cast<QWidget*>(slider)})
        widget->ensurePolished();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.filter(QStringLiteral("parse")).isEmpty()) << warnings.join('\n').toStdString();

    // The pop-up picker's field is white 0.22 behind white text.
    const QImage shot = picker->grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() / 3, shot.height() / 2), VelmoraPalette::fieldBg());
}

// A chosen segment's title is drawn heavier; the picker is sized for that, so "10-bit Export"
// keeps both ends when it is chosen.
TEST(VelmoraSegmentedPicker, AChosenTitleFitsItsSegment)
{
    QWidget host;
    host.setStyleSheet(VelmoraStyleSheet::applicationStyleSheet());
    auto* layout = new QHBoxLayout(&host);
    auto* segments = new VelmoraSegmentedPicker(QStringLiteral("Mode"), {QStringLiteral("Edit"), QStringLiteral("10-bit Export")}, &host);
    layout->addStretch(1);
    layout->addWidget(segments);
    layout->addStretch(1);
    segments->setCurrentIndex(1);
    host.resize(800, 60);
    host.show();
    QApplication::processEvents();

    for (auto* button : segments->findChildren<QPushButton*>()) {
        QFont chosen = button->font();
        chosen.setWeight(QFont::DemiBold);
        // The style sheet's padding is 18 on each side.
        EXPECT_GE(button->width(), QFontMetrics(chosen).horizontalAdvance(button->text()) + 36)
            << button->text().toStdString();
    }
}

} // namespace
} // namespace velmora
