#pragma once

#include <functional>

namespace velmora {

// Runs `work` on Qt's global thread pool. Everything the caller did before the call is visible
// to `work`: the pool orders it, and the hand-over is also said in our own code, so that the
// race detector (which does not see inside the uninstrumented QtCore) understands it without a
// suppression covering the task. `work` must not throw.
void startOnThreadPool(std::function<void()> work);

} // namespace velmora
