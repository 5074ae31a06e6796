#pragma once

namespace velmora {

// Font lookup and text layout need Qt's GUI application object. ensureTextEngine() makes sure
// one exists: when the process has none (command-line exports, tests), it creates a
// QGuiApplication that lives until the process exits, on the offscreen platform when no display
// is configured. Call it once from the main thread before text is laid out on other threads;
// later calls are cheap. Throws velmora::Error (domain "text", code 1) when the process runs a
// plain QCoreApplication, which cannot draw text.
void ensureTextEngine();

} // namespace velmora
