#include "platform/dispatch/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

void lowerCurrentThreadPriority(int niceness)
{
    concurrencyWidth();
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, thread, niceness);
}

} // namespace velmora
