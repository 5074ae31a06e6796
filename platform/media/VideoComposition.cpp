#include "platform/media/VideoComposition.h"

#include "platform/media/internal/TimeMath.h"

namespace velmora {

namespace {

constexpr int kMaximumSide = 16384;

} // namespace

const VideoComposition::Instruction* VideoComposition::instruction(const MediaTime& time) const
{
    for (const Instruction& candidate : instructions) {
        if (candidate.timeRange.containsTime(time)) {
            return &candidate;
        }
    }
    return nullptr;
}

std::int64_t VideoComposition::frameIndex(const MediaTime& time) const
{
    return internal::floorDivide(time, frameDuration);
}

bool VideoComposition::isValid() const
{
    return renderWidth >= 1 && renderWidth <= kMaximumSide && renderHeight >= 1 && renderHeight <= kMaximumSide &&
           frameDuration.isNumeric() && frameDuration > MediaTime::zero();
}

} // namespace velmora
