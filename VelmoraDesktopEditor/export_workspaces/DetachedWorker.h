#pragma once

#include <functional>
#include <string>

namespace velmora {

// Runs `work` on a thread of its own, named `name` (the first 15 characters), that nobody joins:
// a preview render may outlive the workspace that started it. `work` must
// own everything it touches (copies and shared pointers), must not throw, and hands its results
// to the main thread through MainQueue::post. Never uses a shared pool, so a long render
// cannot starve other background work. Throws std::system_error when the system cannot start a
// thread; `work` then never runs.
void runDetached(const std::string& name, std::function<void()> work);

} // namespace velmora
