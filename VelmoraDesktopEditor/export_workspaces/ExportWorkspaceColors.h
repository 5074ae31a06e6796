#pragma once

#include <QColor>

// The few colours of the "10-bit Export" workspace on its black background, kept together so
// that they can join the shared palette in one step.
namespace velmora::ExportWorkspaceColors {

inline QColor background() { return QColor(0, 0, 0); }
inline QColor primaryText() { return QColor(255, 255, 255); }
inline QColor secondaryText() { return QColor(152, 152, 159); }
inline QColor accent() { return QColor(10, 132, 255); }
inline QColor green() { return QColor(48, 209, 88); }
inline QColor orange() { return QColor(255, 159, 10); }
inline QColor purple() { return QColor(191, 90, 242); }
// Group boxes: a faint lift off the background, and their outline.
inline QColor groupFill() { return QColor(255, 255, 255, 14); }
inline QColor groupBorder() { return QColor(255, 255, 255, 28); }
// Controls: buttons, fields and pop-ups.
inline QColor controlFill() { return QColor(58, 58, 60); }
inline QColor fieldFill() { return QColor(28, 28, 30); }

} // namespace velmora::ExportWorkspaceColors
