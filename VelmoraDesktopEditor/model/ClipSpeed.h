#pragma once

#include <cmath>
#include <optional>

namespace velmora {

// The slowest rate a clip plays at: below it a clip would need next to no source at all.
inline constexpr double kMinimumClipSpeed = 0.0625;
// The rate of a clip that states none, or one no clip can play at.
inline constexpr double kDefaultClipSpeed = 1.0;

// The rate a clip plays at for a stored `speed`, the one rule every reader of a clip's timing
// applies: missing, not a number or infinite gives kDefaultClipSpeed; below kMinimumClipSpeed
// (zero and negative rates too) gives kMinimumClipSpeed; any other value is kept. The stored
// field itself is never changed by it.
inline double effectiveClipSpeed(std::optional<double> speed)
{
    if (!speed || !std::isfinite(*speed)) {
        return kDefaultClipSpeed;
    }
    return *speed < kMinimumClipSpeed ? kMinimumClipSpeed : *speed;
}

} // namespace velmora
