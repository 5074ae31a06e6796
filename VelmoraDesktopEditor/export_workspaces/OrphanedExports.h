#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

namespace velmora {

class ExportCancelToken;
class MainQueue;

// Exports and graded preview renders whose sheet or workspace went away while they ran (another
// Mode was chosen). An export goes on and finishes its movie, a render is dropped; each thread is
// joined as soon as its work ends, and never later than the application's end: quitting stops
// each one that is still running (a partial movie goes with it, an older movie at its output
// stays) and waits for its thread, so nothing the work uses is torn down under it. Nothing is
// ever detached. The application's own end waits only so long (stopAll with a deadline); a thread
// still stopping then ends with the process, which removes what it was writing first.
namespace OrphanedExports {

// The thread of an export or a preview render. Its sheet or workspace joins it once the work's
// result has arrived, or hands it to adopt() when it goes away first.
class Worker {
public:
    Worker() = default;
    // Runs `work`, which must not throw, on a thread named `name` (at most 15 characters). Once
    // adopted, the thread's last act tells the main thread through `queue` that it ended, where
    // it is joined; an owner's worker posts nothing of its own. Throws std::system_error when the
    // system cannot start a thread; `work` then never runs.
    Worker(const char* name, std::shared_ptr<MainQueue> queue, std::function<void()> work);

    bool joinable() const { return thread_.joinable(); }
    void join() { thread_.join(); }

    // Who saw the other first: the thread's end or the adoption.
    enum class Stage { running, ended, adopted };

private:
    friend void adopt(Worker worker, std::shared_ptr<ExportCancelToken> token);

    std::thread thread_;
    std::shared_ptr<std::atomic<Stage>> stage_;
};

// Takes over a running worker and the cancel token its work asks. Main thread.
void adopt(Worker worker, std::shared_ptr<ExportCancelToken> token);

// Asks every adopted worker to stop and joins its thread; returns once all have ended. Main
// thread, as the application quits.
void stopAll();

// Asks every adopted worker to stop at once and joins each whose work ends before `deadline`.
// True when all have ended; those still stopping are kept, for a later stopAll (or the end of
// the process) to wait for. Main thread, as the application quits.
bool stopAll(std::chrono::steady_clock::time_point deadline);

// How many adopted workers are not joined yet. Main thread.
std::size_t count();

} // namespace OrphanedExports
} // namespace velmora
