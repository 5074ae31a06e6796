#include "export_workspaces/OrphanedExports.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "export_workspaces/ExportSheetCancelToken.h"
#include "platform/dispatch/MainQueue.h"

namespace velmora::OrphanedExports {

namespace {

using Stage = Worker::Stage;

struct Orphan {
    std::thread worker;
    std::shared_ptr<ExportCancelToken> token;
    std::shared_ptr<std::atomic<Stage>> stage;
};

// Stopped and joined in stopAll, before the application ends. Held for moving orphans in and out,
// never across a join.
struct Orphans {
    std::mutex mutex;
    std::vector<Orphan> list; // guarded by mutex
    // Told when an adopted worker's work has ended, for a stop that waits with a deadline.
    std::mutex endedMutex;
    std::condition_variable ended;

    std::vector<Orphan> takeAll()
    {
        std::lock_guard lock(mutex);
        return std::exchange(list, {});
    }

    void giveBack(std::vector<Orphan> left)
    {
        std::lock_guard lock(mutex);
        for (Orphan& orphan : left)
            list.push_back(std::move(orphan));
    }

    void tellEnded()
    {
        // Under the mutex, so that a waiter between its check and its wait cannot miss it.
        std::lock_guard lock(endedMutex);
        ended.notify_all();
    }

    // A process that ends without stopAll (a test, for one) still waits for what is left.
    ~Orphans() { stopAndJoin(takeAll()); }

    static void requestStops(const std::vector<Orphan>& ending)
    {
        for (const Orphan& orphan : ending) {
            if (orphan.token)
                orphan.token->request();
        }
    }

    static void stopAndJoin(std::vector<Orphan> ending)
    {
        requestStops(ending);
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
        orphans().tellEnded();
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
    all.list.push_back({std::move(worker.thread_), std::move(token), std::move(worker.stage_)});
}

void stopAll()
{
    Orphans::stopAndJoin(orphans().takeAll());
}

bool stopAll(std::chrono::steady_clock::time_point deadline)
{
    Orphans& all = orphans();
    std::vector<Orphan> ending = all.takeAll();
    Orphans::requestStops(ending);
    const auto hasEnded = [](const Orphan& orphan) { return orphan.stage->load() == Stage::ended; };
    {
        std::unique_lock lock(all.endedMutex);
        all.ended.wait_until(lock, deadline, [&] { return std::all_of(ending.begin(), ending.end(), hasEnded); });
    }
    std::vector<Orphan> left;
    for (Orphan& orphan : ending) {
        if (hasEnded(orphan))
            orphan.worker.join(); // its work is over: at most unwinding
        else
            left.push_back(std::move(orphan));
    }
    const bool allEnded = left.empty();
    all.giveBack(std::move(left));
    return allEnded;
}

std::size_t count()
{
    Orphans& all = orphans();
    std::lock_guard lock(all.mutex);
    return all.list.size();
}

} // namespace velmora::OrphanedExports
