#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace velmora {

// How a time is rounded when it changes timescale or is made from seconds.
enum class MediaTimeRounding {
    halfAwayFromZero, // the default: nearest, ties away from zero
    towardZero,
    awayFromZero,
    towardNegativeInfinity,
    towardPositiveInfinity,
};

// A rational time: value / timescale seconds, exact in its own timescale.
//
// The model keeps time as double seconds; media timing converts at the boundary with
// fromSeconds(seconds, timescale), which rounds to the nearest tick (ties away from zero).
// Comparison is exact across timescales (cross-multiplied in 128 bits). A time can be invalid
// (made from NaN, or by default) or ±infinite (made from ±inf or a value that does not fit
// 64 bits); invalid times compare equal to each other and greater than every valid time.
class MediaTime {
public:
    constexpr MediaTime() = default;
    // timescale must be positive; a non-positive timescale gives an invalid time.
    constexpr MediaTime(std::int64_t value, std::int32_t timescale)
        : value_(value), timescale_(timescale), kind_(timescale > 0 ? Kind::numeric : Kind::invalid)
    {
        if (timescale <= 0) {
            value_ = 0;
            timescale_ = 0;
        }
    }

    static constexpr MediaTime zero() { return MediaTime(0, 1); }
    static constexpr MediaTime invalid() { return MediaTime(); }
    static MediaTime positiveInfinity();
    static MediaTime negativeInfinity();

    // seconds × timescale rounded by `rounding`. NaN gives invalid; ±inf and values beyond the
    // 64-bit range give the matching infinity.
    static MediaTime fromSeconds(double seconds, std::int32_t timescale,
                                 MediaTimeRounding rounding = MediaTimeRounding::halfAwayFromZero);

    bool isValid() const { return kind_ != Kind::invalid; }
    bool isNumeric() const { return kind_ == Kind::numeric; }
    bool isPositiveInfinity() const { return kind_ == Kind::positiveInfinity; }
    bool isNegativeInfinity() const { return kind_ == Kind::negativeInfinity; }

    std::int64_t value() const { return value_; }
    std::int32_t timescale() const { return timescale_; }

    // value / timescale; NaN for invalid, ±inf for the infinities.
    double seconds() const;

    // The same instant on another timescale, rounded by `rounding`. Non-numeric times and a
    // non-positive target timescale pass through unchanged (invalid for the latter).
    MediaTime convertScale(std::int32_t timescale,
                           MediaTimeRounding rounding = MediaTimeRounding::halfAwayFromZero) const;

    // Exact sum and difference. Mixed timescales use their least common multiple when it fits
    // 32 bits, else the larger timescale with rounding. Infinity plus a finite time stays
    // infinite; +inf − +inf, or anything with an invalid time, is invalid.
    friend MediaTime operator+(const MediaTime& a, const MediaTime& b);
    friend MediaTime operator-(const MediaTime& a, const MediaTime& b);
    MediaTime operator-() const;
    MediaTime& operator+=(const MediaTime& other) { return *this = *this + other; }
    MediaTime& operator-=(const MediaTime& other) { return *this = *this - other; }

    // The time scaled by an integer: used for frame n at n × frame duration. Overflow gives
    // the matching infinity.
    MediaTime multipliedBy(std::int64_t factor) const;

    // Exact ordering: 1/2 == 300/600.
    friend std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b)
    {
        return (a <=> b) == std::strong_ordering::equal;
    }

    // "value/timescale", or "invalid", "+inf", "-inf"; for test output and logs.
    std::string description() const;

private:
    enum class Kind : std::uint8_t { invalid, numeric, positiveInfinity, negativeInfinity };

    std::int64_t value_ = 0;
    std::int32_t timescale_ = 0;
    Kind kind_ = Kind::invalid;
};

// A span of media time: [start, start + duration).
struct MediaTimeRange {
    MediaTime start = MediaTime::zero();
    MediaTime duration = MediaTime::zero();

    MediaTimeRange() = default;
    MediaTimeRange(MediaTime start, MediaTime duration) : start(start), duration(duration) {}
    // The range between two times; an end before the start gives a zero duration.
    static MediaTimeRange fromStartEnd(MediaTime start, MediaTime end);

    MediaTime end() const { return start + duration; }
    bool isValid() const { return start.isValid() && duration.isValid() && duration >= MediaTime::zero(); }
    bool isEmpty() const { return duration <= MediaTime::zero(); }
    bool containsTime(const MediaTime& time) const { return time >= start && time < end(); }
    // The overlap of two ranges; empty (at the later start) when they do not meet.
    MediaTimeRange intersection(const MediaTimeRange& other) const;

    friend bool operator==(const MediaTimeRange& a, const MediaTimeRange& b) = default;
};

} // namespace velmora
