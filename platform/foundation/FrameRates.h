#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

namespace velmora {

// The exact fraction (60000/1001, 30000/1001 or 24000/1001) of a rate within 0.05 of 59.94,
// 29.97 or 23.976; nothing for every other rate. A whole rate (a 30 or 24 fps project) keeps its
// own grid: its frames on the NTSC grid next to it would run 0.1 % slow.
inline std::optional<std::pair<std::int32_t, std::int32_t>> ntscFraction(double fps)
{
    if (!std::isfinite(fps) || fps == std::round(fps)) {
        return std::nullopt;
    }
    for (const auto& [nominal, num] : {std::pair{59.94, 60000}, std::pair{29.97, 30000}, std::pair{23.976, 24000}}) {
        if (std::fabs(fps - nominal) < 0.05) {
            return std::pair{num, 1001};
        }
    }
    return std::nullopt;
}

} // namespace velmora
