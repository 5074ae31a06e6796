#include "platform/dispatch/Clock.h"

#include <atomic>
#include <chrono>

namespace velmora {

namespace {

class SteadyClock final : public Clock {
public:
    double now() const override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
};

} // namespace

std::shared_ptr<Clock> systemClock()
{
    static const std::shared_ptr<Clock> clock = std::make_shared<SteadyClock>();
    return clock;
}

struct ManualClock::State {
    std::atomic<double> now{0.0};
};

ManualClock::ManualClock(double start)
    : state_(std::make_shared<State>())
{
    state_->now = start;
}

double ManualClock::now() const
{
    return state_->now.load();
}

void ManualClock::advance(double seconds)
{
    double current = state_->now.load();
    while (!state_->now.compare_exchange_weak(current, current + seconds)) {
    }
}

void ManualClock::set(double seconds)
{
    state_->now = seconds;
}

} // namespace velmora
