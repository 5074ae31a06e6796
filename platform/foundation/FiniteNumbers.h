#pragma once

#include <cmath>
#include <optional>

namespace velmora {

// A number read from a document or a gesture, with NaN, the infinities and absence standing for
// `fallback`.
inline double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

inline double finiteOr(const std::optional<double>& value, double fallback)
{
    return value && std::isfinite(*value) ? *value : fallback;
}

} // namespace velmora
