#pragma once

#include <QWidget>

#include "workspace/keys/EditorKeyboardHandler.h"
#include "workspace/keys/EditorKeyRouter.h"

class QKeyEvent;

namespace velmora {

// The Edit workspace's key monitor: an invisible view that, once it is in a window, watches
// every key press of the application (all its windows) before the focused widget gets it, and
// takes the keys EditorKeyRouter assigns a command to, calling the handler's closure. It stops
// when it is taken out of its parent or deleted. It takes no clicks and no focus.
// Main thread only.
class EditorKeyboardMonitorView final : public QWidget {
    Q_OBJECT
public:
    explicit EditorKeyboardMonitorView(QWidget* parent = nullptr);

    // Replaces the closures; the next key calls the new ones.
    void setHandler(EditorKeyboardHandler handler) { handler_ = std::move(handler); }
    const EditorKeyboardHandler& handler() const { return handler_; }
    bool isMonitoring() const { return installed_; }

    // The facts of a key event in the application's state now: which key (by position where
    // the platform gives one), the modifiers, whether a text field has focus or a modal dialog
    // or pop-up menu is open.
    static EditorKeyPress pressOf(const QKeyEvent& event);

    QSize sizeHint() const override { return {0, 0}; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installMonitor();
    void removeMonitor();

    EditorKeyboardHandler handler_;
    bool installed_ = false;
};

} // namespace velmora
