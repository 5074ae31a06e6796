#pragma once

#include <cstdint>
#include <optional>
#include <utility>

// The rules that turn a frame rate into frames, shared by every layer that counts them: the
// project documents and render jobs, the monitor and its read-out, the exports and the encoders.
namespace velmora {

// The rate a project runs at when it states none (monitor, read-out and export alike), and the
// rate a source whose track tells none is read at.
inline constexpr double defaultFrameRate = 59.94;

// The rate a project runs at: its stated rate when that is a finite number above 0. A project
// that states none, or states 0, a negative rate or one that is not a number, runs at
// defaultFrameRate; the document keeps what it states.
double projectFrameRate(std::optional<double> stated);

// The exact fraction (60000/1001, 30000/1001 or 24000/1001) of a rate within 0.05 of 59.94,
// 29.97 or 23.976; nothing for every other rate. A whole rate (a 30 or 24 fps project) keeps its
// own grid: its frames on the NTSC grid next to it would run 0.1 % slow.
std::optional<std::pair<std::int32_t, std::int32_t>> ntscFraction(double fps);

// Whether a rate has a time base of its own: a finite number above 0 whose nearest whole number
// fits a 32-bit timescale.
bool hasTimebase(double fps);

// The time base of a rate: frame n starts at exactly n × step / timescale seconds. The NTSC
// rates (ntscFraction) on their 1001-based fractions; any other rate on 1 / its nearest whole
// number (halves away from zero, at least 1). A rate without a time base of its own
// (hasTimebase) counts as 30.
struct RateTimebase {
    std::int32_t timescale = 30;
    std::int64_t step = 1;

    bool operator==(const RateTimebase&) const = default;
};
RateTimebase rateTimebase(double fps);

// A rate as a source tells it (a track's nominal rate, often the rounded decimal 29.97, 59.94 or
// 23.976) on the grid its frames really lie on: within 0.005 of 60000/1001, 30000/1001 or
// 24000/1001 that fraction, else the rate unchanged. Counted on the decimal, a 29.97 fps
// source's frame starts drift by a millionth of their time, a whole frame after 9.3 hours.
double exactFrameRate(double fps);

} // namespace velmora
