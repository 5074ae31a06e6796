#include "platform/dispatch/QtMainQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/dispatch/internal/HandOver.h"

namespace velmora {

namespace {

using internal::handOver;
using internal::takeOver;

// A block on its way to the main thread, as the event that carries it. The event is handed over
// when posted and taken over before our code looks at a delivered event (the receiver, and the
// application-wide filters through QtMainQueue::typeOf) and before it is destroyed, delivered or
// not (see HandOver.h).
class BlockEvent final : public QEvent {
public:
    explicit BlockEvent(std::function<void()> work) : QEvent(blockType()), work_(std::move(work)) {}
    ~BlockEvent() override { takeOver(static_cast<QEvent*>(this)); }
    BlockEvent(const BlockEvent&) = delete;
    BlockEvent& operator=(const BlockEvent&) = delete;

    static QEvent::Type blockType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    // Posts `work` to `receiver`'s thread.
    static void post(QObject* receiver, std::function<void()> work)
    {
        auto event = std::make_unique<BlockEvent>(std::move(work));
        handOver(static_cast<QEvent*>(event.get()));
        // The event queue takes the event over.
        QCoreApplication::postEvent(receiver, event.release());
    }

    void run() { work_(); }

private:
    std::function<void()> work_;
};

// The queue's object on the main thread: runs the blocks posted to it.
class BlockReceiver final : public QObject {
protected:
    bool event(QEvent* event) override
    {
        if (QtMainQueue::typeOf(*event) != BlockEvent::blockType())
            return QObject::event(event);
        static_cast<BlockEvent*>(event)->run();
        return true;
    }
};

} // namespace

QtMainQueue::QtMainQueue()
    : context_(std::make_unique<BlockReceiver>())
{
}

namespace {

// Contexts of queues that went while the application was ending, deleted when the process ends.
std::vector<std::unique_ptr<QObject>>& contextsLeftAtTheEnd()
{
    static std::vector<std::unique_ptr<QObject>> contexts;
    return contexts;
}

} // namespace

QtMainQueue::~QtMainQueue()
{
    // The last holder may be a background job finishing after its owner went away. Deleting
    // the context there would race with the main thread delivering events to it: leave the
    // deletion to the context's own thread. Work posted before then still runs there.
    if (QThread::currentThread() != context_->thread()) {
        context_.release()->deleteLater();
        return;
    }
    // A block never delivered may hold the last reference: the application, as it ends, deletes
    // such blocks with its posted-event list locked, and deleting the context would remove the
    // context's other events from that list (a deadlock) and leave the list pointing at it. Once
    // the application is going, the context is kept until the process ends, when no event is
    // left for it.
    if (!QCoreApplication::instance()) {
        contextsLeftAtTheEnd().push_back(std::move(context_));
    }
}

void QtMainQueue::post(std::function<void()> work)
{
    BlockEvent::post(context_.get(), std::move(work));
}

CancelHandle QtMainQueue::postDelayed(double seconds, std::function<void()> work)
{
    CancelHandle handle;
    const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
    QObject* context = context_.get();
    // Timers must be started on the thread that owns the context, so hop there first.
    BlockEvent::post(context, [context, ms, handle, work = std::move(work)]() mutable {
        QTimer::singleShot(ms, context, [handle, work = std::move(work)] {
            if (!handle.isCancelled()) {
                work();
            }
        });
    });
    return handle;
}

QEvent::Type QtMainQueue::typeOf(const QEvent& event)
{
    takeOver(&event);
    return event.type();
}

bool QtMainQueue::isCurrent() const
{
    return QThread::currentThread() == context_->thread();
}

} // namespace velmora
