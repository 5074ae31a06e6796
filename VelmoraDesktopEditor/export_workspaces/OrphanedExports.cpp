#include "export_workspaces/OrphanedExports.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "export_workspaces/ExportSheetCancelToken.h"
#include "platform/dispatch/MainQueue.h"

namespace velmora::OrphanedExports {

namespace {

struct Orphan {
    std::thread worker;
    std::shared_ptr<ExportCancelToken> token;
};

// Stopped and joined in stopAll, before the application ends. Held for moving orphans in and out,
// never across a join.
struct Orphans {
    std::mutex mutex;
    std::vector<Orphan> list; // guarded by mutex

    std::vector<Orphan> takeAll()
    {
        std::lock_guard lock(mutex);
        return std::exchange(list, {});
    }

    // A process that ends without stopAll (a test, for one) still waits for what is left.
    ~Orphans() { stopAndJoin(takeAll()); }

    static void stopAndJoin(std::vector<Orphan> ending)
    {
        for (Orphan& orphan : ending) {
            if (orphan.token)
                orphan.token->request();
        }
        for (Orphan& orphan : ending)
            orphan.worker.join();
    }
};

Orphans& orphans()
{
    static Orphans orphans;
    return orphans;
}

// Joins an adopted worker whose work has ended: it is at most unwinding.
void joinEnded(std::thread::id ended)
{
    std::optional<Orphan> orphan;
    {
        Orphans& all = orphans();
        std::lock_guard lock(all.mutex);
        const auto found = std::find_if(all.list.begin(), all.list.end(),
                                        [&](const Orphan& o) { return o.worker.get_id() == ended; });
        if (found == all.list.end())
            return; // stopAll took it
        orphan.emplace(std::move(*found));
        all.list.erase(found);
    }
    orphan->worker.join();
}

} // namespace

Worker::Worker(const char* name, std::shared_ptr<MainQueue> queue, std::function<void()> work)
    : stage_(std::make_shared<std::atomic<Stage>>(Stage::running))
{
    thread_ = std::thread([name = std::string(name).substr(0, 15), queue = std::move(queue), stage = stage_,
                           work = std::move(work)] {
        pthread_setname_np(pthread_self(), name.c_str());
        work();
        if (stage->exchange(Stage::ended) != Stage::adopted)
            return; // the owner joins it, or adopt() finds it ended
        try {
            queue->post([id = std::this_thread::get_id()] { joinEnded(id); });
        } catch (...) {
            // Without memory for the notice the thread is joined at the application's end.
        }
    });
}

void adopt(Worker worker, std::shared_ptr<ExportCancelToken> token)
{
    if (!worker.joinable())
        return;
    if (worker.stage_->exchange(Worker::Stage::adopted) == Worker::Stage::ended) {
        worker.join();
        return;
    }
    Orphans& all = orphans();
    std::lock_guard lock(all.mutex);
    all.list.push_back({std::move(worker.thread_), std::move(token)});
}

void stopAll()
{
    Orphans::stopAndJoin(orphans().takeAll());
}

std::size_t count()
{
    Orphans& all = orphans();
    std::lock_guard lock(all.mutex);
    return all.list.size();
}

} // namespace velmora::OrphanedExports
