#pragma once

#include <memory>

#include <QPointer>
#include <QSize>

#include "preview/CleanFeedWindowHandle.h"

class QScreen;
class QWidget;

namespace velmora {

class MainQueue;
class TimelinePreviewEngine;

// The clean feed: a second program monitor in a window of its own ("Clean Feed", black, the raw
// program picture fitted to the canvas, the playhead's timecode, "⛶ Fullscreen" and "✕ Close"),
// for a second display. It can go full screen on the screen it is on, or on a screen given.
//
// The window belongs to the application (no parent) and owns this controller; the engine only
// records the open controller, weakly. Closing the window, in any way, destroys both: the
// engine's record is cleared and nothing of a closed clean feed stays alive.
//
// Main thread only.
class CleanFeedWindowController final : public CleanFeedWindowHandle {
    Q_OBJECT
public:
    struct Services {
        // Deferred steps (placing a new window, hiding after leaving full screen). Empty: the
        // application's QtMainQueue.
        std::shared_ptr<MainQueue> mainQueue;
    };

    // Content size at creation and on restore, points.
    static constexpr QSize contentSize{1280, 720};
    // Minimum window size; an open window found smaller is restored to contentSize.
    static constexpr QSize minimumSize{480, 270};
    // Between leaving full screen and hiding the window, seconds.
    static constexpr double leaveFullScreenDelaySeconds = 0.4;

    // The open clean feed of the engine, brought to the front (and restored when it has become
    // too small); otherwise a new window, shown, centred on its screen on the next turn of the
    // main queue and recorded in the engine.
    static CleanFeedWindowController* open(TimelinePreviewEngine& engine, Services services = {});

    QWidget* window() const { return window_.data(); }
    TimelinePreviewEngine* engine() const { return engine_.data(); }

    bool isWindowVisible() const override;
    // Leaves full screen first (and closes leaveFullScreenDelaySeconds later), then closes the
    // window, which destroys it and this controller.
    void performClose() override;
    // Back to contentSize, centred, when the window is not full screen and smaller than
    // minimumSize.
    void restoreCleanFeedSizeIfNeeded();
    // Full screen on `screen` (none: the screen the window is on).
    void enterFullScreen(QScreen* screen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CleanFeedWindowController(TimelinePreviewEngine& engine, QWidget& window, std::shared_ptr<MainQueue> mainQueue);

    void orderOutAndDetach();
    // Clears the engine's record when it still names this controller.
    void detachFromEngine();
    void centreOnScreen();

    QPointer<TimelinePreviewEngine> engine_;
    QPointer<QWidget> window_;
    std::shared_ptr<MainQueue> mainQueue_;
};

} // namespace velmora
