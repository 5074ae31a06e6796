#pragma once

#include <memory>
#include <optional>

#include <QObject>

#include "platform/dispatch/MainQueue.h"

namespace velmora {

// Tells a live resize (the user dragging a window edge) from a single resize (a maximise, the
// first show) by the rhythm of the window's resize events, since the window system does not
// say when a drag starts or ends: a second resize within 0.15 s of the previous one starts a
// live resize, and 0.3 s without a resize ends it. Timing runs on the injected main queue
// (virtual time in tests). Main thread only.
class LiveResizeDetector final : public QObject {
    Q_OBJECT
public:
    static constexpr double burstInterval = 0.15; // seconds
    static constexpr double quietInterval = 0.3;  // seconds

    explicit LiveResizeDetector(std::shared_ptr<MainQueue> mainQueue, QObject* parent = nullptr);
    ~LiveResizeDetector() override;

    bool isLiveResize() const { return live_; }

    // The observed window was resized.
    void noteResize();
    // Forgets the resizes seen so far; ends a live resize (the window is no longer observed).
    void reset();

signals:
    void liveResizeChanged(bool isLiveResize);

private:
    void setLive(bool live);
    void scheduleEnd();

    std::shared_ptr<MainQueue> mainQueue_;
    bool live_ = false;
    std::optional<CancelHandle> recentResize_; // set while the last resize is under 0.15 s old
    std::optional<CancelHandle> end_;          // set while a live resize waits for its end
};

} // namespace velmora
