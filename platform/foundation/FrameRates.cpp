#include "platform/foundation/FrameRates.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr std::pair<double, std::int32_t> kNtscRates[] = {{59.94, 60000}, {29.97, 30000}, {23.976, 24000}};
constexpr std::int32_t kNtscDenominator = 1001;
// A told rate this close to 59.94, 29.97 or 23.976 is meant as that rate.
constexpr double kNtscWindow = 0.05;
// A source's told rate this close to an NTSC fraction is that fraction written with fewer digits.
constexpr double kRoundedDecimalTolerance = 0.005;
// How far (relative) a double may lie from the fraction it was computed or parsed from.
constexpr double kFractionTolerance = 1e-9;
// How far (relative) a decimal scaled by a power of ten may lie from its whole number.
constexpr double kScaledDecimalTolerance = 1e-12;
// The most decimals a rate is read as written with.
constexpr int kMostDecimals = 6;
constexpr double kLargest32 = 2147483647.0;
// Rates this close (relative) drift apart by one frame only every 2,000 frames.
constexpr double kSameRateTolerance = 0.0005;

struct NearNtscWindow {
    double low;
    double high;
    double rate;
};
constexpr NearNtscWindow kNearNtscWindows[] = {{59.7, 60.2, 59.94}, {29.8, 30.2, 29.97}, {23.8, 24.2, 23.976}};

bool isWhole(double fps)
{
    return fps == std::round(fps);
}

// The fewest decimals (0 to kMostDecimals) the rate is written with; nothing for more.
std::optional<int> decimalsOf(double fps)
{
    double scale = 1;
    for (int decimals = 0; decimals <= kMostDecimals; ++decimals, scale *= 10) {
        const double scaled = fps * scale;
        if (std::fabs(scaled - std::round(scaled)) <= kScaledDecimalTolerance * std::max(scaled, 1.0)) {
            return decimals;
        }
    }
    return std::nullopt;
}

// Whether `fps` is `exact` rounded to its decimals (two or more: one decimal is a rate of its
// own, 47.9 is not 47.952), or `exact` itself as a double holds it.
bool writesFraction(double fps, double exact)
{
    if (std::fabs(fps - exact) <= kFractionTolerance * exact) {
        return true;
    }
    const std::optional<int> decimals = decimalsOf(fps);
    return decimals && *decimals >= 2 &&
           std::fabs(fps - exact) <= 0.5 * std::pow(10.0, -*decimals) * (1 + kFractionTolerance);
}

// The simplest fraction timescale / step of `fps`: the first convergent of its continued
// fraction within kFractionTolerance, else the last one whose terms fit 32 bits.
RateTimebase closestFraction(double fps)
{
    // Convergents h / k of fps, from h(-2)/k(-2) = 0/1 and h(-1)/k(-1) = 1/0.
    double h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    RateTimebase best{static_cast<std::int32_t>(std::clamp(std::round(fps), 1.0, kLargest32)), 1};
    double rest = fps;
    for (int term = 0; term < 64; ++term) {
        const double whole = std::floor(rest);
        const double h2 = whole * h1 + h0;
        const double k2 = whole * k1 + k0;
        if (h2 > kLargest32 || k2 > kLargest32) {
            break;
        }
        h0 = h1, h1 = h2, k0 = k1, k1 = k2;
        if (h1 >= 1) {
            best = {static_cast<std::int32_t>(h1), static_cast<std::int64_t>(k1)};
            if (std::fabs(h1 / k1 - fps) <= kFractionTolerance * fps) {
                break;
            }
        }
        const double fraction = rest - whole;
        if (!(fraction > 0)) {
            break;
        }
        rest = 1 / fraction;
    }
    return best;
}

// n·1000 / 1001 (n whole) when `fps` is that fraction rounded to fewer digits, or computed.
std::optional<std::int32_t> thousandOneNumerator(double fps)
{
    const double n = std::round(fps * kNtscDenominator / 1000);
    if (n < 1 || n * 1000 > kLargest32 || !writesFraction(fps, n * 1000 / kNtscDenominator)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(n * 1000);
}

} // namespace

double projectFrameRate(std::optional<double> stated)
{
    return stated && std::isfinite(*stated) && *stated > 0 ? *stated : defaultFrameRate;
}

std::optional<std::pair<std::int32_t, std::int32_t>> ntscFraction(double fps)
{
    if (!std::isfinite(fps) || !(fps > 0) || isWhole(fps)) {
        return std::nullopt;
    }
    for (const auto& [nominal, num] : kNtscRates) {
        if (std::fabs(fps - nominal) < kNtscWindow) {
            return std::pair{num, kNtscDenominator};
        }
    }
    if (const auto numerator = thousandOneNumerator(fps)) {
        return std::pair{*numerator, kNtscDenominator};
    }
    return std::nullopt;
}

std::optional<double> nearNtscRate(double sourceRate)
{
    for (const auto& window : kNearNtscWindows) {
        if (sourceRate >= window.low && sourceRate <= window.high) {
            return window.rate;
        }
    }
    return std::nullopt;
}

bool hasTimebase(double fps)
{
    return std::isfinite(fps) && fps > 0 && std::round(fps) <= kLargest32 && fps * kLargest32 >= 1;
}

double timedFrameRate(double fps)
{
    return hasTimebase(fps) ? fps : 30;
}

RateTimebase rateTimebase(double fps)
{
    fps = timedFrameRate(fps);
    if (isWhole(fps)) {
        return {static_cast<std::int32_t>(fps), 1};
    }
    if (const auto ntsc = ntscFraction(fps)) {
        return {ntsc->first, ntsc->second};
    }
    return closestFraction(fps);
}

double exactFrameRate(double fps)
{
    for (const auto& rate : kNtscRates) {
        const double exact = static_cast<double>(rate.second) / kNtscDenominator;
        if (std::fabs(fps - exact) < kRoundedDecimalTolerance) {
            return exact;
        }
    }
    if (std::isfinite(fps) && fps > 0 && !isWhole(fps)) {
        if (const auto numerator = thousandOneNumerator(fps)) {
            return static_cast<double>(*numerator) / kNtscDenominator;
        }
    }
    return fps;
}

bool sameFrameRate(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b) && a > 0 && b > 0 && std::fabs(a / b - 1.0) < kSameRateTolerance;
}

} // namespace velmora
