#pragma once

#include <memory>
#include <thread>

namespace velmora {

class ExportCancelToken;

// Exports whose sheet or workspace went away while they ran (another Mode was chosen). They go
// on and finish their movie, but not past the application's end: quitting stops each one that
// is still running (its partial movie goes with it, an older movie at its output stays) and waits
// for its thread, so nothing the export uses is torn down under it.
namespace OrphanedExports {

// Takes over a running export's thread and its cancel token. Main thread.
void adopt(std::thread worker, std::shared_ptr<ExportCancelToken> token);

// Asks every adopted export to stop and joins its thread; returns once all have ended. Main
// thread, as the application quits.
void stopAll();

} // namespace OrphanedExports
} // namespace velmora
