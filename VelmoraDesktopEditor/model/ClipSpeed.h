#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

namespace velmora {

// The slowest rate a clip plays at: below it a clip would need next to no source at all.
inline constexpr double kMinimumClipSpeed = 0.0625;
// The fastest rate a clip plays at (a stored 10000 %): beyond it a clip's frames would lie
// seconds of source apart and its source range would outgrow any file (a stored 1e308 would ask
// for 1e306 s of source per second), so its timing would no longer mean anything.
inline constexpr double kMaximumClipSpeed = 100.0;
// The rate of a clip that states none, or one no clip can play at.
inline constexpr double kDefaultClipSpeed = 1.0;

// Above this magnitude a stored speed is a percentage (the browser editor's jobs write 150 for
// 1.5×); at or below it, a factor.
inline constexpr double kLargestSpeedFactor = 10.0;

// The rate a clip plays at for a stored `speed` (or a speed keyframe's), the one rule every
// reader of a clip's timing applies, the editor's and the export's, picture and sound alike:
// missing, not a number or infinite gives kDefaultClipSpeed; a magnitude above
// kLargestSpeedFactor is read as a percentage; a rate below kMinimumClipSpeed (zero and negative
// rates too) gives kMinimumClipSpeed and one above kMaximumClipSpeed gives kMaximumClipSpeed;
// any other value is kept. The stored field itself is never changed by it.
inline double effectiveClipSpeed(std::optional<double> speed)
{
    if (!speed || !std::isfinite(*speed)) {
        return kDefaultClipSpeed;
    }
    const double factor = std::fabs(*speed) > kLargestSpeedFactor ? *speed / 100.0 : *speed;
    return std::clamp(factor, kMinimumClipSpeed, kMaximumClipSpeed);
}

} // namespace velmora
