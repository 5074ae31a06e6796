#include "controls/WindowKeyboardFocusView.h"

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

} // namespace velmora
