#pragma once

#include <QString>

class QApplication;

// The one style sheet of the application: dark panels, the Mode picker's segments, the dark
// pop-up picker, the light toolbar slider. Namespaced classes are selected as
// `velmora--ClassName` (Qt's spelling of `velmora::ClassName` in selectors).
namespace velmora::VelmoraStyleSheet {

QString applicationStyleSheet();

// Fusion style, the dark palette and the style sheet, for the whole application. Call once,
// after the QApplication exists and before the first window is shown.
void apply(QApplication& application);

} // namespace velmora::VelmoraStyleSheet
