#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

// Text and symbol labels of the "10-bit Export" workspace, in its text sizes and styles.
namespace velmora::WorkspaceLabels {

enum class TextSize { title2, body, callout, caption };

// A label of the given size, in the secondary (dimmed) colour when `secondary`.
QLabel* text(const QString& text, TextSize size, bool secondary, QWidget* parent = nullptr);

// One of the application's symbols (VelmoraSymbols) by its name, tinted; the name is kept in
// the dynamic property "symbol".
QLabel* symbol(const char* name, const QColor& tint, QWidget* parent = nullptr);

// Selectable by mouse and keyboard, so the text can be copied.
void makeSelectable(QLabel* label);

} // namespace velmora::WorkspaceLabels
