#pragma once

#include <QWidget>

namespace velmora {

// An invisible view for the content of a tool window (the source viewer's, for one): as soon as
// it is shown in a window (with the window, or by show() when added to a window already on
// screen) it makes that window the active window and itself the focus widget,
// so the window's single-key shortcuts work without a first click. It claims focus again each
// time `claimFocusIfNeeded` is called (the owner calls it when it refreshes the window's
// content), never gives focus back and holds no state. It takes no clicks. Main thread only.
class WindowKeyboardFocusView final : public QWidget {
    Q_OBJECT
public:
    explicit WindowKeyboardFocusView(QWidget* parent = nullptr);

    // Does nothing unless the view is shown inside a window (a view without a parent is not
    // in one); otherwise activates the window and focuses the view, also when the window is
    // already active or the view already has focus.
    void claimFocusIfNeeded();

    QSize sizeHint() const override { return {0, 0}; }

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace velmora
