#include "grading/GradeKernels.h"

#include <atomic>

namespace velmora::Exporter {

namespace {

std::atomic<int> unavailableScopes{0};

const ColorKernel* available(const ColorKernel& kernel)
{
    return unavailableScopes.load(std::memory_order_acquire) > 0 ? nullptr : &kernel;
}

} // namespace

const ColorKernel* tempTintKernel()
{
    static const ColorKernel kernel{"applyTempTint"};
    return available(kernel);
}

const ColorKernel* moodKernel()
{
    static const ColorKernel kernel{"applyMood"};
    return available(kernel);
}

const ColorKernel* vignetteKernel()
{
    static const ColorKernel kernel{"applyVignette"};
    return available(kernel);
}

const ColorKernel* basicGradeKernel()
{
    static const ColorKernel kernel{"applyBasicGrade"};
    return available(kernel);
}

ScopedKernelsUnavailable::ScopedKernelsUnavailable()
{
    unavailableScopes.fetch_add(1, std::memory_order_acq_rel);
}

ScopedKernelsUnavailable::~ScopedKernelsUnavailable()
{
    unavailableScopes.fetch_sub(1, std::memory_order_acq_rel);
}

} // namespace velmora::Exporter
