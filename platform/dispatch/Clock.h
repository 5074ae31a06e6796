#pragma once

#include <memory>

namespace velmora {

// A monotonic clock in seconds. Injectable so that throttling and time-outs can be tested
// without waiting; `systemClock()` is the real one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

std::shared_ptr<Clock> systemClock();

// A clock that only moves when told to. Thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 0.0);
    double now() const override;
    void advance(double seconds);
    void set(double seconds);

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace velmora
