#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class KeyedContainer;

// The video bit rates the editor takes from documents and callers. A rate must be a whole number
// of 1 to 10,000,000,000 bits per second (10 Gb/s): far past what the encoders are given (the
// writer settles HEVC within 1–400 Mb/s and H.264 within 2–200 Mb/s), yet a figure a person could
// mean. Beyond it a job is damaged: a target of 10^18 b/s would otherwise export at the encoder's
// ceiling and report success. Job readers refuse such a rate where they read it, and every export
// refuses the rate it was handed, before anything is written.
namespace BitrateLimit {

inline constexpr std::int64_t minimumBps = 1;
inline constexpr std::int64_t maximumBps = 10'000'000'000;

bool accepts(std::int64_t bps);

// "The bit rate 1000000000000000000 b/s is not supported: a bit rate must be a whole number of 1
// to 10000000000 bits per second."
std::string refusalText(std::int64_t bps);

// The rate under `key`, read as decodeIfPresent<int64_t> reads it. A rate not accepted, and any
// value there that is not a whole number ("abc", 5.5), throws DecodingError (dataCorrupted) at the
// key's coding path, whose description is the refusal naming what was found and the path.
std::optional<std::int64_t> decodeBitrate(const KeyedContainer& container, std::string_view key);

} // namespace BitrateLimit

} // namespace velmora
