#pragma once

#include <mutex>

namespace velmora {

// A request to stop a running export (the export sheet's "Cancel Export", the 10-bit Export
// workspace's "Stop & Quit"). One token lives as long as its sheet or workspace and is shared
// (by std::shared_ptr) with the export worker, whose cancel query the export engine calls from
// its video and audio threads, possibly at once. Each operation takes
// the lock for one read or one write and nothing else.
class ExportCancelToken {
public:
    // Start of a run, and after a failed one.
    void reset()
    {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }
    // "Cancel Export" (main thread).
    void request()
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    // The export engine's cancel query (any thread).
    bool isCancelled() const
    {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false; // guarded by mutex_
};

} // namespace velmora
