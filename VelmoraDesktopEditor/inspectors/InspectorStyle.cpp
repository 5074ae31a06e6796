#include "inspectors/InspectorStyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

#include "controls/VelmoraPalette.h"

namespace velmora::InspectorStyle {

QColor orange() { return QColor(255, 159, 10); }
QColor green() { return QColor(48, 209, 88); }
QColor red() { return QColor(255, 69, 58); }

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

QString buttonStyleSheet()
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

} // namespace velmora::InspectorStyle
