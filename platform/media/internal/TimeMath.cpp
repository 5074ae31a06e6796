#include "platform/media/internal/TimeMath.h"

#include <limits>

namespace velmora::internal {

std::int64_t floorDivide(const MediaTime& time, const MediaTime& step)
{
    __extension__ typedef __int128 Int128;
    if (time.isPositiveInfinity()) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (!time.isNumeric() || !step.isNumeric() || step.value() <= 0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    // (v1 / s1) / (v2 / s2) = v1·s2 / (s1·v2), rounded towards negative infinity.
    const Int128 top = Int128(time.value()) * step.timescale();
    const Int128 bottom = Int128(time.timescale()) * step.value();
    Int128 quotient = top / bottom;
    if (top % bottom != 0 && top < 0) {
        --quotient;
    }
    if (quotient > std::numeric_limits<std::int64_t>::max()) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (quotient < std::numeric_limits<std::int64_t>::min()) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(quotient);
}

} // namespace velmora::internal
