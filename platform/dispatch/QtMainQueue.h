#pragma once

#include <memory>

#include "platform/dispatch/MainQueue.h"

class QObject;

namespace velmora {

// The main queue of the application: work is posted to the Qt event loop of the thread
// that constructed this object (the GUI thread). May be released on any thread.
class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;

    void post(std::function<void()> work) override;
    CancelHandle postDelayed(double seconds, std::function<void()> work) override;
    bool isCurrent() const override;

private:
    std::unique_ptr<QObject> context_;
};

} // namespace velmora
