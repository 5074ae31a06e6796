#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace velmora {

class VelmoraDesktopShellView;

// The editor application as main() starts it, kept apart from main() so that whatever drives
// the real application (its scenario tests) builds exactly the same thing. Main thread only.
namespace EditorApplication {

// Names the application, its version and build number, and applies the dark style.
void configure(QApplication& application);

// The application's one window, not yet shown: the Edit workspace on the Qt event loop with
// the desktop's own panels and file manager, previewing on the platform player with the
// default sound output, and the 10-bit Export workspace.
std::unique_ptr<VelmoraDesktopShellView> makeWindow();

// Hands the files named in `arguments` (a command line's bytes: the program name first) to the
// window once control is back in the event loop, as if the system handed them over together: the
// first project or job file opens, and every other file is named in an alert with how to open it
// (EditorWorkspaceController::handleOpenURLs).
void openFilesFromArguments(VelmoraDesktopShellView& window, const std::vector<std::string>& arguments);

// Makes SIGTERM, SIGINT and SIGHUP (a log-out, Ctrl+C, a closed terminal) end the application
// as a quit does: the event loops end with 128 + the signal's number, without asking, and main()
// goes on to finish(), which stops every export and removes what it was writing. The handler
// only writes the signal's number to a pipe; the main thread reads it. Once, before exec().
void endOnSignals(QApplication& application);

// Once the event loop has ended (the window closed): stops what the workspaces left running (an
// export another Mode replaced, a preview render) and waits for its threads, so that nothing
// runs on while the application and its statics go.
void end();

// How long the application's end waits for the exports it stopped.
inline constexpr std::chrono::milliseconds exportStopPatience{1000};

// The application's end as main() ends it once the event loop has returned `status`: the window
// goes, and every export it or another Mode left running is asked to stop at once. Returns the
// status to end with once all have ended; when some are still stopping after
// exportStopPatience, removes what they were writing (no partial movie stays; an older movie
// at an output is untouched) and ends the process itself with `status`, without returning.
// Whatever runs the real application to its end calls this, so that it ends as main() does.
int finish(std::unique_ptr<VelmoraDesktopShellView> window, int status);

} // namespace EditorApplication
} // namespace velmora
