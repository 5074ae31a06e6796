#include "platform/image/Lanes.h"

#include <atomic>

namespace velmora::lanes {

namespace {

std::atomic<int> baselineScopes{0};

bool cpuHasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

bool cpuHasAvx512()
{
#if defined(__x86_64__) || defined(__i386__)
    return cpuHasAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

} // namespace

bool haveAvx512()
{
    static const bool avx512 = cpuHasAvx512();
    return avx512 && baselineScopes.load(std::memory_order_relaxed) == 0;
}

bool haveAvx2()
{
    static const bool avx2 = cpuHasAvx2();
    return avx2 && baselineScopes.load(std::memory_order_relaxed) == 0;
}

ScopedBaselineLanes::ScopedBaselineLanes()
{
    baselineScopes.fetch_add(1, std::memory_order_relaxed);
}

ScopedBaselineLanes::~ScopedBaselineLanes()
{
    baselineScopes.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace velmora::lanes
