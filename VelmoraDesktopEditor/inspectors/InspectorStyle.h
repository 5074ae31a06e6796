#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QPushButton;

// Colours, fonts and button looks of the source viewer, the grade inspector and the project
// settings sheet, on top of the application's palette and style sheet. Main thread only.
namespace velmora::InspectorStyle {

// The platform's standard orange, green and red accents.
QColor orange();
QColor green();
QColor red();

// A font of the application's family at a pixel size; `monospaced` takes the fixed-pitch family.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// Sizes of the type ramp, in pixels.
inline constexpr int title2 = 17;
inline constexpr int title3 = 15;
inline constexpr int caption = 11;
inline constexpr int caption2 = 10;

// A label's text colour, set through its palette (style sheets above may override it).
void setTextColour(QLabel& label, const QColor& colour);

// Button looks: "prominent" fills the button with the accent colour, "bordered" is the plain
// framed button; `large` is the large control size of the action rows.
void makeProminent(QPushButton& button, bool large = false);
void makeBordered(QPushButton& button, bool large = false);

// Style sheet rules for the two button looks (selected by the dynamic property "look").
QString buttonStyleSheet();

} // namespace velmora::InspectorStyle
