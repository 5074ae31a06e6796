#include "platform/foundation/FrameRates.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr std::pair<double, std::int32_t> kNtscRates[] = {{59.94, 60000}, {29.97, 30000}, {23.976, 24000}};
constexpr std::int32_t kNtscDenominator = 1001;
constexpr double kLargestTimescale = 2147483647.0;
// A told rate this close to an NTSC fraction is that fraction written with fewer digits.
constexpr double kRoundedDecimalTolerance = 0.005;

} // namespace

double projectFrameRate(std::optional<double> stated)
{
    return stated && std::isfinite(*stated) && *stated > 0 ? *stated : defaultFrameRate;
}

std::optional<std::pair<std::int32_t, std::int32_t>> ntscFraction(double fps)
{
    if (!std::isfinite(fps) || fps == std::round(fps)) {
        return std::nullopt;
    }
    for (const auto& [nominal, num] : kNtscRates) {
        if (std::fabs(fps - nominal) < 0.05) {
            return std::pair{num, kNtscDenominator};
        }
    }
    return std::nullopt;
}

bool hasTimebase(double fps)
{
    return std::isfinite(fps) && fps > 0 && std::round(fps) <= kLargestTimescale;
}

RateTimebase rateTimebase(double fps)
{
    if (!hasTimebase(fps)) {
        fps = 30;
    }
    if (const auto ntsc = ntscFraction(fps)) {
        return {ntsc->first, ntsc->second};
    }
    return {static_cast<std::int32_t>(std::max(std::round(fps), 1.0)), 1};
}

double exactFrameRate(double fps)
{
    for (const auto& rate : kNtscRates) {
        const double exact = static_cast<double>(rate.second) / kNtscDenominator;
        if (std::fabs(fps - exact) < kRoundedDecimalTolerance) {
            return exact;
        }
    }
    return fps;
}

} // namespace velmora
