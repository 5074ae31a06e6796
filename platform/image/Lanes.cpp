#include "platform/image/Lanes.h"

namespace velmora::lanes {

bool haveAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

} // namespace velmora::lanes
