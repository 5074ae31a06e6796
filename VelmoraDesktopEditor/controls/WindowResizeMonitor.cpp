#include "controls/WindowResizeMonitor.h"

#include <QEvent>

#include "controls/LiveResizeDetector.h"

namespace velmora {

WindowResizeMonitor::WindowResizeMonitor(std::shared_ptr<MainQueue> mainQueue, QWidget* parent)
    : QWidget(parent), detector_(new LiveResizeDetector(std::move(mainQueue), this))
{
    setObjectName(QStringLiteral("WindowResizeMonitor"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
    connect(detector_, &LiveResizeDetector::liveResizeChanged, this, &WindowResizeMonitor::liveResizeChanged);
    attach();
}

bool WindowResizeMonitor::isLiveResize() const
{
    return detector_->isLiveResize();
}

void WindowResizeMonitor::attach()
{
    if (!parentWidget())
        return;
    QWidget* current = window();
    if (current == observedWindow_)
        return;
    teardown();
    observedWindow_ = current;
    observedWindow_->installEventFilter(this);
}

void WindowResizeMonitor::teardown()
{
    if (observedWindow_)
        observedWindow_->removeEventFilter(this);
    observedWindow_ = nullptr;
    detector_->reset();
}

bool WindowResizeMonitor::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
        attach();
    return handled;
}

bool WindowResizeMonitor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == observedWindow_ && event->type() == QEvent::Resize)
        detector_->noteResize();
    return QWidget::eventFilter(watched, event);
}

} // namespace velmora
