#pragma once

#include <QObject>

namespace velmora {

class TimelinePreviewEngine;

// What the engine needs of an open clean-feed window: whether it is on screen, and a way to
// close it. The window's controller derives from this, records itself in the engine while its
// window is open and clears that record when the window goes away. Main thread only.
class CleanFeedWindowHandle : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isWindowVisible() const = 0;
    // Leaves full screen first when needed, then hides the window.
    virtual void performClose() = 0;
};

} // namespace velmora
