#pragma once

#include <memory>

#include <QEvent>

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

    // The type of an event delivered on the main thread, for code that looks at every event (the
    // application-wide event filters): the queue's own events are made on the posting thread, and
    // their type is read here in order with their posting.
    static QEvent::Type typeOf(const QEvent& event);

private:
    std::unique_ptr<QObject> context_;
};

} // namespace velmora
