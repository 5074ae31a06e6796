#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

// The look of the Edit workspace: its colours beyond the shared palette and one style sheet set
// on the workspace's root, which its bars select by object name and dynamic property. Main
// thread only.
namespace velmora::EditorWorkspaceStyle {

QColor selectedClip();  // a selected clip button: red 0.25, green 0.45, blue 0.85
QColor clipButton();    // an unselected clip button: white 0.15
QColor versionBadge();  // red 0.2, green 0.45, blue 0.85
QColor clipGainLabel(); // red 0.98, green 0.75, blue 0.25
QColor clipFadeLabel(); // red 0.75, green 0.85, blue 1
QColor warning();       // orange: the unsaved mark, a failed preview
QColor ready();         // green: "Project ready"

QString styleSheet();

// Marks a label as secondary text (editorMuted) or as a caption (smaller).
void setMuted(QWidget& label);
void setCaption(QWidget& widget);
// A label of secondary text at caption size, called `objectName` when one is given.
QLabel* mutedCaption(const QString& text, QWidget* parent, const char* objectName = nullptr);
// A plain view called `objectName` that paints the background the style sheet gives it.
QWidget* styledView(const char* objectName, QWidget* parent);
// Sets a Boolean dynamic property the style sheet selects on ("selected", "dirty", "warning")
// and restyles the widget.
void setStyleFlag(QWidget& widget, const char* name, bool on);

} // namespace velmora::EditorWorkspaceStyle
