#include "platform/dispatch/QtMainQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <cmath>

namespace velmora {

QtMainQueue::QtMainQueue()
    : context_(std::make_unique<QObject>())
{
}

QtMainQueue::~QtMainQueue()
{
    // The last holder may be a background job finishing after its owner went away. Deleting
    // the context there would race with the main thread delivering events to it: leave the
    // deletion to the context's own thread. Work posted before then still runs there.
    if (QThread::currentThread() != context_->thread()) {
        context_.release()->deleteLater();
    }
}

void QtMainQueue::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(context_.get(), [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

CancelHandle QtMainQueue::postDelayed(double seconds, std::function<void()> work)
{
    CancelHandle handle;
    const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
    QObject* context = context_.get();
    // Timers must be started on the thread that owns the context, so hop there first.
    QMetaObject::invokeMethod(
        context,
        [context, ms, handle, work = std::move(work)]() mutable {
            QTimer::singleShot(ms, context, [handle, work = std::move(work)] {
                if (!handle.isCancelled()) {
                    work();
                }
            });
        },
        Qt::QueuedConnection);
    return handle;
}

bool QtMainQueue::isCurrent() const
{
    return QThread::currentThread() == context_->thread();
}

} // namespace velmora
