#include "workspace/keys/EditorKeyboardMonitorView.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "platform/dispatch/QtMainQueue.h"

namespace velmora {
namespace {

bool isTextInput(const QWidget* widget)
{
    if (!widget)
        return false;
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo && combo->isEditable();
}

// X11 and Wayland report the XKB keycode, a physical key position, as the native scan code.
bool platformGivesKeyPositions()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

} // namespace

EditorKeyboardMonitorView::EditorKeyboardMonitorView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("EditorKeyboardMonitorView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(0, 0);
    if (parent)
        installMonitor();
}

EditorKeyPress EditorKeyboardMonitorView::pressOf(const QKeyEvent& event)
{
    EditorKeyPress press;
    press.key = EditorKeyRouter::keyOf(event.key(), event.nativeScanCode(), platformGivesKeyPositions());
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    press.shift = modifiers.testFlag(Qt::ShiftModifier);
    press.command = modifiers.testFlag(Qt::ControlModifier);
    press.option = modifiers.testFlag(Qt::AltModifier);
    press.control = modifiers.testFlag(Qt::MetaModifier);
    press.isAutoRepeat = event.isAutoRepeat();
    press.textInputHasFocus = isTextInput(QApplication::focusWidget());
    press.dialogOrMenuIsOpen = QApplication::activeModalWidget() || QApplication::activePopupWidget();
    return press;
}

bool EditorKeyboardMonitorView::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange) {
        if (parentWidget())
            installMonitor();
        else
            removeMonitor();
    }
    return QWidget::event(event);
}

bool EditorKeyboardMonitorView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = QtMainQueue::typeOf(*event);
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) ||
        !(watched->isWidgetType() || watched->isWindowType()))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    EditorKeyPress press = pressOf(*key);
    if (type == QEvent::ShortcutOverride) {
        // Claim the keys the monitor takes before any shortcut does; the key press follows.
        press.sourceViewerIsKey = press.key == EditorKey::space && handler_.isSourceViewerActive &&
                                  handler_.isSourceViewerActive();
        if (!EditorKeyRouter::decide(press).consumed)
            return false;
        key->accept();
        return true;
    }
    // A key that passes reaches this filter again for each widget it propagates to; passing
    // calls nothing, so only the first sighting of a consumed key acts.
    return EditorKeyRouter::route(press, handler_);
}

void EditorKeyboardMonitorView::installMonitor()
{
    if (installed_)
        return;
    qApp->installEventFilter(this);
    installed_ = true;
}

void EditorKeyboardMonitorView::removeMonitor()
{
    if (!installed_)
        return;
    qApp->removeEventFilter(this);
    installed_ = false;
}

} // namespace velmora
