#pragma once

class QWidget;

// A test hook: when the environment variable VELMORA_SCREENSHOT names a PNG file, the
// application waits until its window is exposed on the screen and shows what
// VELMORA_SCREENSHOT_WAIT asks for, paints it, grabs it from the screen into that file and quits.
// "project": the Edit workspace holds a project; "pictures": besides, its media pool has cards
// and shows the picture of every card of a video or a still in view. Unset or anything else: the
// window alone. What is waited for is checked again whenever the window paints, never on a clock.
// Exit codes: 0 saved, 3 the window never appeared within 20 s, 4 the screen could not be
// grabbed or the file not written, 5 what was asked for was not shown within 90 s. Without the
// variable nothing happens.
namespace velmora::WindowScreenshot {

void scheduleIfRequested(QWidget& window);

} // namespace velmora::WindowScreenshot
