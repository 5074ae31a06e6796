#include "controls/VelmoraStyleSheet.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStyleFactory>

#include "controls/VelmoraPalette.h"

namespace velmora::VelmoraStyleSheet {

QString applicationStyleSheet()
{
    using namespace VelmoraPalette;
    const QString text = css(editorText());
    const QString muted = css(editorMuted());
    const QString panel = css(editorPanel());
    const QString background = css(editorBg());
    const QString field = css(fieldBg());
    const QString accentColour = css(accent());

    QString sheet;
    // The shell: a black window, the Mode picker on a panel strip.
    sheet += QStringLiteral("velmora--VelmoraDesktopShellView { background: %1; }\n").arg(background);
    sheet += QStringLiteral("QWidget#modePickerBar { background: %1; }\n").arg(panel);
    sheet += QStringLiteral("QWidget#EditorContentView, QWidget#ContentView { background: %1; }\n").arg(background);

    // Segmented picker: one frame, rounded at both ends, the chosen segment lighter.
    sheet += QStringLiteral(
                 "velmora--VelmoraSegmentedPicker QPushButton {"
                 " color: %1; background: %2; border: 1px solid %3; border-left-width: 0px;"
                 " padding: 3px 18px; font-size: 12px; min-height: 16px; }\n"
                 "velmora--VelmoraSegmentedPicker QPushButton[segment=\"first\"] { border-left-width: 1px;"
                 " border-top-left-radius: 6px; border-bottom-left-radius: 6px; }\n"
                 "velmora--VelmoraSegmentedPicker QPushButton[segment=\"last\"] {"
                 " border-top-right-radius: 6px; border-bottom-right-radius: 6px; }\n"
                 "velmora--VelmoraSegmentedPicker QPushButton[segment=\"only\"] { border-left-width: 1px;"
                 " border-radius: 6px; }\n"
                 "velmora--VelmoraSegmentedPicker QPushButton:checked { background: %4; font-weight: 600; }\n"
                 "velmora--VelmoraSegmentedPicker QPushButton:focus { border-color: %5; }\n"
                 "velmora--VelmoraSegmentedPicker QLabel { color: %1; font-size: 12px; }\n")
                 .arg(text, css(grey(0.16)), css(segmentBorder()), css(segmentChecked()), accentColour);

    // Dark pop-up picker: a rounded field of white 0.22, white text at 12 px, a dark menu.
    sheet += QStringLiteral(
                 "velmora--VelmoraDarkPopUpPicker { color: %1; background: %2; border: 1px solid %3;"
                 " border-radius: 6px; padding: 2px 8px; font-size: 12px; font-weight: 500; }\n"
                 "velmora--VelmoraDarkPopUpPicker:focus { border-color: %4; }\n"
                 "velmora--VelmoraDarkPopUpPicker::drop-down { border: none; width: 16px; }\n"
                 "velmora--VelmoraDarkPopUpPicker QAbstractItemView { color: %1; background: %5;"
                 " selection-background-color: %4; selection-color: %1; font-size: 12px; outline: none; }\n")
                 .arg(text, field, css(grey(0.30)), accentColour, css(grey(0.14)));

    // Toolbar slider: a light, small control whatever the panel around it.
    sheet += QStringLiteral(
                 "velmora--VelmoraToolbarSlider { min-height: 16px; }\n"
                 "velmora--VelmoraToolbarSlider::groove:horizontal { height: 4px; border-radius: 2px; background: %1; }\n"
                 "velmora--VelmoraToolbarSlider::sub-page:horizontal { border-radius: 2px; background: %2; }\n"
                 "velmora--VelmoraToolbarSlider::handle:horizontal { width: 12px; height: 12px; margin: -4px 0;"
                 " border-radius: 6px; background: %3; border: 1px solid %4; }\n"
                 "velmora--VelmoraToolbarSlider::handle:horizontal:disabled { background: %5; }\n")
                 .arg(css(grey(0.82)), accentColour, css(grey(0.98)), css(grey(0.60)), css(grey(0.70)));

    // Secondary texts.
    sheet += QStringLiteral("QLabel[velmoraRole=\"muted\"] { color: %1; }\n").arg(muted);
    sheet += QStringLiteral("QToolTip { color: %1; background: %2; border: 1px solid %3; }\n")
                 .arg(text, css(grey(0.18)), css(grey(0.30)));
    return sheet;
}

void apply(QApplication& application)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setPalette(VelmoraPalette::darkPalette());
    application.setStyleSheet(applicationStyleSheet());
}

QFont font(int pixelSize, QFont::Weight weight, bool monospaced)
{
    QFont result = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

void setTextColour(QLabel& label, const QColor& colour)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

namespace {

void setLook(QPushButton& button, const char* look, bool large)
{
    button.setProperty("look", QString::fromLatin1(look));
    button.setProperty("large", large);
    button.setAutoDefault(false);
}

} // namespace

void makeProminent(QPushButton& button, bool large) { setLook(button, "prominent", large); }
void makeBordered(QPushButton& button, bool large) { setLook(button, "bordered", large); }

QString buttonLooks()
{
    using namespace VelmoraPalette;
    return QStringLiteral(
               "QPushButton[look=\"bordered\"] { color: %1; background: %2; border: 1px solid %3;"
               " border-radius: 5px; padding: 3px 12px; font-size: 12px; }\n"
               "QPushButton[look=\"bordered\"]:pressed { background: %4; }\n"
               "QPushButton[look=\"prominent\"] { color: %1; background: %5; border: 1px solid %5;"
               " border-radius: 5px; padding: 3px 12px; font-size: 12px; font-weight: 600; }\n"
               "QPushButton[look=\"prominent\"]:pressed { background: %6; }\n"
               "QPushButton[large=\"true\"] { padding: 6px 16px; font-size: 13px; }\n"
               "QPushButton:focus { border-color: %7; }\n")
        .arg(css(editorText()), css(grey(0.26)), css(grey(0.36)), css(grey(0.34)), css(accent()),
             css(accent().darker(120)), css(accent().lighter(140)));
}

} // namespace velmora::VelmoraStyleSheet
