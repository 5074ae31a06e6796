#include "platform/media/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace velmora {

namespace {

__extension__ typedef __int128 Int128;

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// numerator / denominator (denominator > 0) rounded by `rounding`.
Int128 divideRounded(Int128 numerator, Int128 denominator, MediaTimeRounding rounding)
{
    Int128 quotient = numerator / denominator; // truncates toward zero
    const Int128 remainder = numerator % denominator;
    if (remainder == 0) {
        return quotient;
    }
    const bool negative = numerator < 0;
    switch (rounding) {
    case MediaTimeRounding::towardZero:
        return quotient;
    case MediaTimeRounding::awayFromZero:
        return negative ? quotient - 1 : quotient + 1;
    case MediaTimeRounding::towardNegativeInfinity:
        return negative ? quotient - 1 : quotient;
    case MediaTimeRounding::towardPositiveInfinity:
        return negative ? quotient : quotient + 1;
    case MediaTimeRounding::halfAwayFromZero: {
        const Int128 twice = (remainder < 0 ? -remainder : remainder) * 2;
        if (twice >= denominator) {
            return negative ? quotient - 1 : quotient + 1;
        }
        return quotient;
    }
    }
    return quotient;
}

MediaTime fromWide(Int128 value, std::int32_t timescale)
{
    if (value > kInt64Max) {
        return MediaTime::positiveInfinity();
    }
    if (value < kInt64Min) {
        return MediaTime::negativeInfinity();
    }
    return MediaTime(static_cast<std::int64_t>(value), timescale);
}

// Sum or difference of two numeric times (sign = +1 or -1 applied to b).
MediaTime combine(const MediaTime& a, const MediaTime& b, int sign)
{
    if (a.timescale() == b.timescale()) {
        return fromWide(Int128(a.value()) + sign * Int128(b.value()), a.timescale());
    }
    const std::int64_t lcm = std::lcm(std::int64_t(a.timescale()), std::int64_t(b.timescale()));
    if (lcm <= kInt32Max) {
        const Int128 av = Int128(a.value()) * (lcm / a.timescale());
        const Int128 bv = Int128(b.value()) * (lcm / b.timescale());
        return fromWide(av + sign * bv, static_cast<std::int32_t>(lcm));
    }
    const std::int32_t scale = std::max(a.timescale(), b.timescale());
    const MediaTime ac = a.convertScale(scale);
    const MediaTime bc = b.convertScale(scale);
    if (!ac.isNumeric() || !bc.isNumeric()) {
        return sign > 0 ? ac + bc : ac - bc;
    }
    return fromWide(Int128(ac.value()) + sign * Int128(bc.value()), scale);
}

// Rank of the non-numeric kinds for ordering: -inf < numeric < +inf < invalid.
int rank(const MediaTime& t)
{
    if (!t.isValid()) {
        return 3;
    }
    if (t.isNegativeInfinity()) {
        return 0;
    }
    if (t.isPositiveInfinity()) {
        return 2;
    }
    return 1;
}

} // namespace

MediaTime MediaTime::positiveInfinity()
{
    MediaTime t;
    t.kind_ = Kind::positiveInfinity;
    return t;
}

MediaTime MediaTime::negativeInfinity()
{
    MediaTime t;
    t.kind_ = Kind::negativeInfinity;
    return t;
}

MediaTime MediaTime::fromSeconds(double seconds, std::int32_t timescale, MediaTimeRounding rounding)
{
    if (std::isnan(seconds) || timescale <= 0) {
        return invalid();
    }
    if (std::isinf(seconds)) {
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    }
    const long double scaled = static_cast<long double>(seconds) * timescale;
    long double rounded = 0;
    switch (rounding) {
    case MediaTimeRounding::halfAwayFromZero: rounded = std::round(scaled); break;
    case MediaTimeRounding::towardZero: rounded = std::trunc(scaled); break;
    case MediaTimeRounding::awayFromZero: rounded = scaled < 0 ? std::floor(scaled) : std::ceil(scaled); break;
    case MediaTimeRounding::towardNegativeInfinity: rounded = std::floor(scaled); break;
    case MediaTimeRounding::towardPositiveInfinity: rounded = std::ceil(scaled); break;
    }
    // 2^63 as a long double is exact; anything at or beyond it does not fit.
    constexpr long double limit = 9223372036854775808.0L;
    if (rounded >= limit) {
        return positiveInfinity();
    }
    if (rounded < -limit) {
        return negativeInfinity();
    }
    return MediaTime(static_cast<std::int64_t>(rounded), timescale);
}

double MediaTime::seconds() const
{
    switch (kind_) {
    case Kind::invalid: return std::numeric_limits<double>::quiet_NaN();
    case Kind::positiveInfinity: return std::numeric_limits<double>::infinity();
    case Kind::negativeInfinity: return -std::numeric_limits<double>::infinity();
    case Kind::numeric: break;
    }
    return static_cast<double>(static_cast<long double>(value_) / timescale_);
}

MediaTime MediaTime::convertScale(std::int32_t timescale, MediaTimeRounding rounding) const
{
    if (timescale <= 0) {
        return invalid();
    }
    if (!isNumeric() || timescale == timescale_) {
        return *this;
    }
    return fromWide(divideRounded(Int128(value_) * timescale, timescale_, rounding), timescale);
}

MediaTime operator+(const MediaTime& a, const MediaTime& b)
{
    if (!a.isValid() || !b.isValid()) {
        return MediaTime::invalid();
    }
    if (a.isNumeric() && b.isNumeric()) {
        return combine(a, b, +1);
    }
    const bool aInf = !a.isNumeric();
    const bool bInf = !b.isNumeric();
    if (aInf && bInf) {
        return a.isPositiveInfinity() == b.isPositiveInfinity() ? a : MediaTime::invalid();
    }
    return aInf ? a : b;
}

MediaTime MediaTime::operator-() const
{
    if (kind_ == Kind::positiveInfinity) {
        return negativeInfinity();
    }
    if (kind_ == Kind::negativeInfinity) {
        return positiveInfinity();
    }
    if (kind_ == Kind::invalid) {
        return invalid();
    }
    return fromWide(-Int128(value_), timescale_);
}

MediaTime operator-(const MediaTime& a, const MediaTime& b)
{
    if (!a.isValid() || !b.isValid()) {
        return MediaTime::invalid();
    }
    if (a.isNumeric() && b.isNumeric()) {
        return combine(a, b, -1);
    }
    return a + (-b);
}

MediaTime MediaTime::multipliedBy(std::int64_t factor) const
{
    if (!isNumeric()) {
        if (!isValid() || factor == 0) {
            return invalid();
        }
        return factor > 0 ? *this : -*this;
    }
    return fromWide(Int128(value_) * factor, timescale_);
}

std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b)
{
    const int ra = rank(a);
    const int rb = rank(b);
    if (ra != rb || ra != 1) {
        return ra <=> rb;
    }
    const Int128 lhs = Int128(a.value()) * b.timescale();
    const Int128 rhs = Int128(b.value()) * a.timescale();
    if (lhs < rhs) {
        return std::strong_ordering::less;
    }
    if (lhs > rhs) {
        return std::strong_ordering::greater;
    }
    return std::strong_ordering::equal;
}

std::string MediaTime::description() const
{
    switch (kind_) {
    case Kind::invalid: return "invalid";
    case Kind::positiveInfinity: return "+inf";
    case Kind::negativeInfinity: return "-inf";
    case Kind::numeric: break;
    }
    return std::to_string(value_) + "/" + std::to_string(timescale_);
}

MediaTimeRange MediaTimeRange::fromStartEnd(MediaTime start, MediaTime end)
{
    MediaTime duration = end - start;
    if (duration.isValid() && duration < MediaTime::zero()) {
        duration = MediaTime::zero();
    }
    return MediaTimeRange(start, duration);
}

MediaTimeRange MediaTimeRange::intersection(const MediaTimeRange& other) const
{
    const MediaTime s = std::max(start, other.start);
    const MediaTime e = std::min(end(), other.end());
    return fromStartEnd(s, e);
}

} // namespace velmora
