#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class KeyedContainer;

// The frame rates the editor reads, times and exports. Past the limit a document is damaged, not
// ambitious: a 3 s timeline at 10^9 fps is 3·10^9 frames, an export that never ends. The job and
// project readers refuse such a rate where they read it, and every export refuses the rate it
// resolved (also one taken from a source or set in code), before anything is written.
namespace FrameRateLimit {

inline constexpr double maximumFps = 240;

// Finite and at most 240 fps. Rates of 0 and below are not judged here: documents use them for
// "take the source's own rate", and the timing rules handle them.
bool accepts(double fps);

// "The frame rate 1000000000 fps is not supported: a frame rate must be a finite number of at
// most 240 frames per second."
std::string refusalText(double fps);

// A rate read at `path` of a document: nothing, or an accepted rate; any other throws
// DecodingError (dataCorrupted) at `path`, whose description is refusalText and the path.
void check(std::optional<double> fps, const std::vector<std::string>& path);

// The rate under `key`, read as decodeIfPresent<double> reads it. A rate not accepted, and any
// value there that is not a number ("NaN" as text), throws DecodingError (dataCorrupted) at the
// key's coding path, in the refusal's words naming what was found.
std::optional<double> decodeFps(const KeyedContainer& container, std::string_view key);

// Refuses, like decodeFps, the exact rate `fpsNumerator` / `fpsDenominator` when both are
// present and at least 1 (the rate the frame timing then uses), at `numeratorKey`'s path.
void checkFpsFraction(const KeyedContainer& container, std::string_view numeratorKey,
                      std::optional<std::int64_t> fpsNumerator, std::optional<std::int64_t> fpsDenominator);

} // namespace FrameRateLimit

} // namespace velmora
