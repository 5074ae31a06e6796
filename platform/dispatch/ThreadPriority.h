#pragma once

namespace velmora {

// Lowers the calling thread's scheduling priority to `niceness` (1 to 19; the threads it starts
// from then on inherit it) for work that should yield the cores to the window and to playback.
// The worker pool of concurrentPerform, which every thread shares, is started first if it was
// not yet: its workers take the priority of the thread that starts them, and they must keep the
// process's own. A refusal leaves the priority as it was.
void lowerCurrentThreadPriority(int niceness);

} // namespace velmora
