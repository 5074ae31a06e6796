#include "platform/dispatch/ThreadPoolStart.h"

#include <memory>

#include <QRunnable>
#include <QThreadPool>

#include "platform/dispatch/internal/HandOver.h"

namespace velmora {

namespace {

// The task the pool runs and deletes. Its hand-over is taken before anything of it is read.
class HandedOverTask final : public QRunnable {
public:
    explicit HandedOverTask(std::function<void()> work) : work_(std::move(work)) { setAutoDelete(true); }
    ~HandedOverTask() override { internal::takeOver(this); }

    void run() override
    {
        internal::takeOver(this);
        work_();
    }

private:
    std::function<void()> work_;
};

} // namespace

void startOnThreadPool(std::function<void()> work)
{
    auto task = std::make_unique<HandedOverTask>(std::move(work));
    internal::handOver(task.get());
    // The pool takes the task over.
    QThreadPool::globalInstance()->start(task.release());
}

} // namespace velmora
