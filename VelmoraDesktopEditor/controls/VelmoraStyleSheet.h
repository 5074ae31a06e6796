#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QApplication;
class QLabel;
class QPushButton;

// The one style sheet of the application: dark panels, the Mode picker's segments, the dark
// pop-up picker, the light toolbar slider; and the fonts, text colours and button looks of the
// inspectors' windows and sheets. Namespaced classes are selected as `velmora--ClassName` (Qt's
// spelling of `velmora::ClassName` in selectors). Main thread only.
namespace velmora::VelmoraStyleSheet {

QString applicationStyleSheet();

// Fusion style, the dark palette and the style sheet, for the whole application. Call once,
// after the QApplication exists and before the first window is shown.
void apply(QApplication& application);

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

// The rules of the two button looks (selected by the dynamic property "look"). A window or
// sheet that uses them sets them on its root, where they hold over the rules of a workspace it
// opens over.
QString buttonLooks();

} // namespace velmora::VelmoraStyleSheet
