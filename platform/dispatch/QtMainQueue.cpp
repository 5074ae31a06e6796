#include "platform/dispatch/QtMainQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cmath>

namespace velmora {

namespace {

// A block on its way to the main thread, as the event that carries it. Qt's event queue orders
// everything the poster did before posting ahead of the block, but through synchronisation
// inside QtCore, which the race detector does not see (the library is not instrumented). The
// release store just before posting and the acquire load before the block runs, and before the
// event is destroyed (also unrun, when the queue goes first), say the same in our own code, where
// it sees them: the hand-over is understood without hiding what runs under QtCore's frames, so a
// race the hand-over does not order (the poster writing after it posted) is still reported.
class BlockEvent final : public QEvent {
public:
    explicit BlockEvent(std::function<void()> work) : QEvent(blockType()), work_(std::move(work)) {}
    ~BlockEvent() override { (void)handedOver_.load(std::memory_order_acquire); }
    BlockEvent(const BlockEvent&) = delete;
    BlockEvent& operator=(const BlockEvent&) = delete;

    static QEvent::Type blockType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    // Posts this event to `receiver`, which takes it over.
    void post(QObject* receiver)
    {
        handedOver_.store(true, std::memory_order_release);
        QCoreApplication::postEvent(receiver, this);
    }

    // On the receiver's thread, once.
    void run()
    {
        (void)handedOver_.load(std::memory_order_acquire);
        work_();
    }

private:
    std::function<void()> work_;
    std::atomic<bool> handedOver_{false};
};

// The queue's object on the main thread: runs the blocks posted to it.
class BlockReceiver final : public QObject {
protected:
    bool event(QEvent* event) override
    {
        if (event->type() != BlockEvent::blockType())
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
    (new BlockEvent(std::move(work)))->post(context_.get());
}

CancelHandle QtMainQueue::postDelayed(double seconds, std::function<void()> work)
{
    CancelHandle handle;
    const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
    QObject* context = context_.get();
    // Timers must be started on the thread that owns the context, so hop there first.
    (new BlockEvent([context, ms, handle, work = std::move(work)]() mutable {
        QTimer::singleShot(ms, context, [handle, work = std::move(work)] {
            if (!handle.isCancelled()) {
                work();
            }
        });
    }))->post(context);
    return handle;
}

bool QtMainQueue::isCurrent() const
{
    return QThread::currentThread() == context_->thread();
}

} // namespace velmora
