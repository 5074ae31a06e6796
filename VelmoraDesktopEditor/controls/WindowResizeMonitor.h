#pragma once

#include <memory>

#include <QPointer>
#include <QWidget>

#include "platform/dispatch/MainQueue.h"

namespace velmora {

class LiveResizeDetector;

// An invisible view that reports whether the window holding it is being resized live, so a
// workspace can show a cheap placeholder while the user drags the window's edge. It observes
// the resize events of at most one window: the one it is in when it is shown or moved to
// another parent, or when `attach` is called. Main thread only.
class WindowResizeMonitor final : public QWidget {
    Q_OBJECT
public:
    explicit WindowResizeMonitor(std::shared_ptr<MainQueue> mainQueue, QWidget* parent = nullptr);

    bool isLiveResize() const;
    // The window whose resizes are observed, or none.
    QWidget* observedWindow() const { return observedWindow_; }

    // Observes the window the view is in now: nothing without a parent (the view is not in a
    // window) or when that window is already observed; otherwise stops observing the previous
    // one (ending a live resize there) and starts with this one.
    void attach();

    QSize sizeHint() const override { return {0, 0}; }

signals:
    void liveResizeChanged(bool isLiveResize);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void teardown();

    LiveResizeDetector* detector_;
    QPointer<QWidget> observedWindow_;
};

} // namespace velmora
