#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace velmora {

class SerialQueue;

// One serial worker for background work that many sessions never need: its thread (named after
// the label, as SerialQueue names it) is started by the first piece of work handed to it, and
// runs the work first in, first out.
//
// When no thread can be had (the process is out of threads), the work runs at once on the
// calling thread, and a later call tries to start the thread again. Work handed here answers
// its caller through the main queue, and the caller waits for that answer (a listing of names,
// the lookup of an opened project's files, the sizes and posters of sources): dropped work
// would leave it waiting with no word, while work run late on the caller's thread still
// answers, at the cost of that one call's time in a process that cannot start threads. So work
// must never call back into its caller directly.
//
// Destruction requests a stop (stopToken()) and does not wait: what is already queued still
// runs on the worker's thread (each item sees the stop and can leave what is left undone), and
// the thread is joined once that has ended, by a later destruction or at the latest when the
// process ends. So a window closing never waits for a poster, a listing or a probe in flight;
// work handed here must therefore hold what it uses (it may outlive its owner) and never write
// a user's file.
//
// Threads: run() and destruction from one thread at a time (the owner's); stopToken() and
// workLeftRunning() from any.
class BackgroundWorker {
public:
    // `onThreadStart` runs on the worker's thread before its first item (for example to lower
    // the thread's priority); never on a caller's thread.
    explicit BackgroundWorker(std::string label, std::function<void()> onThreadStart = {});
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    void run(std::function<void()> work);

    // Raised by the destructor.
    std::stop_token stopToken() const { return stop_.get_token(); }

    // True while work of a destroyed worker is still running: a process that ends now need not
    // wait for it, and cannot let its statics' teardown join it (see EditorApplication::finish).
    static bool workLeftRunning();
    // Waits for the work of every destroyed worker and joins their threads.
    static void joinLeftWork();

private:
    std::string label_;
    std::function<void()> onThreadStart_;
    std::stop_source stop_;
    std::unique_ptr<SerialQueue> queue_; // none until the first run() that could start it
};

} // namespace velmora
