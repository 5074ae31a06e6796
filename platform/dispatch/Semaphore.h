#pragma once

#include <condition_variable>
#include <mutex>

namespace velmora {

// A counting semaphore with a timed wait, as the export's waits need.
class Semaphore {
public:
    explicit Semaphore(int initial = 0) : count_(initial) {}

    void signal();
    void wait();
    // Waits at most `seconds`; true when the semaphore was signalled in time.
    bool waitFor(double seconds);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_;
};

} // namespace velmora
