#pragma once

class QWidget;

// A test hook: when the environment variable VELMORA_SCREENSHOT names a PNG file, the
// application waits for its window to be exposed on the screen, lets it paint (and finish its
// background work) for VELMORA_SCREENSHOT_SETTLE_MS milliseconds (500 when unset), grabs it from
// the screen into that file and quits. Exit codes: 0 saved, 3 the window never appeared within
// 20 s, 4 the screen could not be grabbed or the file not written. Without the variable nothing
// happens.
namespace velmora::WindowScreenshot {

void scheduleIfRequested(QWidget& window);

} // namespace velmora::WindowScreenshot
