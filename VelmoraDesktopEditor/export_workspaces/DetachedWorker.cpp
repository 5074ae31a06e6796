#include "export_workspaces/DetachedWorker.h"

#include <pthread.h>

#include <thread>

namespace velmora {

void runDetached(const std::string& name, std::function<void()> work)
{
    std::thread([name = name.substr(0, 15), work = std::move(work)] {
        pthread_setname_np(pthread_self(), name.c_str());
        work();
    }).detach();
}

} // namespace velmora
