#include "controls/WindowKeyboardFocusView.h"

#include <QEvent>

namespace velmora {

WindowKeyboardFocusView::WindowKeyboardFocusView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WindowKeyboardFocusView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
}

void WindowKeyboardFocusView::claimFocusIfNeeded()
{
    if (!parentWidget() || !isVisible())
        return;
    window()->activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void WindowKeyboardFocusView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    claimFocusIfNeeded();
}

bool WindowKeyboardFocusView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // Moved into a window that is already on screen: appear in it, which claims focus.
    if (event->type() == QEvent::ParentChange && parentWidget() && parentWidget()->isVisible() && !isVisible())
        show();
    return handled;
}

} // namespace velmora
