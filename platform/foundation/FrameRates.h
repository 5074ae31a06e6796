#pragma once

#include <cstdint>
#include <optional>
#include <utility>

// The rules that turn a frame rate into frames, shared by every layer that counts them: the
// project documents and render jobs, the monitor and its read-out, the exports and the encoders.
// Every tolerance between two rates lives here.
namespace velmora {

// The rate a project runs at when it states none (monitor, read-out and export alike), and the
// rate a source whose track tells none is read at.
inline constexpr double defaultFrameRate = 59.94;

// The rate a project runs at: its stated rate when that is a finite number above 0. A project
// that states none, or states 0, a negative rate or one that is not a number, runs at
// defaultFrameRate; the document keeps what it states.
double projectFrameRate(std::optional<double> stated);

// The exact fraction n·1000 / 1001 a rate stands for, with n whole: within 0.05 of 59.94, 29.97
// or 23.976 (60000/1001, 30000/1001, 24000/1001); any other rate when it is that fraction
// rounded to two to six decimals (47.952 and 47.95 are 48000/1001, 119.88 is 120000/1001,
// 14.985 is 15000/1001; 0.99 is not 1000/1001), or that fraction computed (within a relative
// 10^-9).
// Nothing for a whole rate (a 30 or 24 fps project keeps its own grid: its frames on the
// 1001-based grid next to it would run 0.1 % slow) and for every other rate.
std::optional<std::pair<std::int32_t, std::int32_t>> ntscFraction(double fps);

// The near-NTSC windows of a source's nominal rate, for a source read without a rate of its
// job: 59.7–60.2 is 59.94, 29.8–30.2 is 29.97, 23.8–24.2 is 23.976; nothing outside them.
std::optional<double> nearNtscRate(double sourceRate);

// Whether a rate has a time base of its own: a finite number above 0 whose nearest whole number
// fits a 32-bit timescale and whose frame lasts at most 2^31 − 1 seconds.
bool hasTimebase(double fps);

// The rate a told rate is timed at: itself when it has a time base of its own (hasTimebase),
// else 30.
double timedFrameRate(double fps);

// The time base of a rate: frame n starts at exactly n × step / timescale seconds, and
// timescale / step is the rate itself. A whole rate on n / 1; the 1001 family (ntscFraction) on
// its n·1000 / 1001; any other rate on the simplest fraction within a relative 10^-9 of it (the
// first convergent of its continued fraction that close: 12.5 on 25 / 2, 0.2 on 1 / 5, 33.333
// on 33333 / 1000), timescale and step both within 32 bits (the last convergent that fits,
// where none lies that close). A rate
// without a time base of its own (hasTimebase) counts as 30.
struct RateTimebase {
    std::int32_t timescale = 30;
    std::int64_t step = 1;

    // Frames per second, exactly timescale / step.
    double rate() const { return static_cast<double>(timescale) / static_cast<double>(step); }
    bool operator==(const RateTimebase&) const = default;
};
RateTimebase rateTimebase(double fps);

// A rate as a source tells it (a track's nominal rate, often the rounded decimal 29.97, 59.94 or
// 23.976) on the grid its frames really lie on: within 0.005 of 60000/1001, 30000/1001 or
// 24000/1001, or another n·1000 / 1001 written with fewer digits (as ntscFraction reads it),
// that fraction; else the rate unchanged. Counted on the decimal, a 29.97 fps source's frame starts drift by a millionth of
// their time, a whole frame after 9.3 hours.
double exactFrameRate(double fps);

// Whether two rates play the same frames over any practical length: within a relative 0.0005
// of each other. Rates that are not finite numbers above 0 are never the same.
bool sameFrameRate(double a, double b);

} // namespace velmora
