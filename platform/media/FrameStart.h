#pragma once

#include <cstdint>
#include <optional>

#include "platform/media/MediaTime.h"

namespace velmora {

// The frame of a source at a time, as every reader takes it (the player, the paused still, the
// clean feed, the job preview and the export): the first frame starting at or after the time.
// A frame starting up to kFrameStartTolerance before the time counts as starting at it, so that
// a frame's own start, rounded through floating point or a time scale on its way, still finds
// that frame and not the next.
inline constexpr std::int64_t kFrameStartToleranceMicroseconds = 1;
inline constexpr double kFrameStartToleranceSeconds = kFrameStartToleranceMicroseconds / 1e6;
inline const MediaTime kFrameStartTolerance(kFrameStartToleranceMicroseconds, 1000000);

// Whether a frame starting at `frameStart` answers a request for `seconds`.
inline bool startsAtOrAfter(double frameStart, double seconds)
{
    return frameStart + kFrameStartToleranceSeconds >= seconds;
}

// The index of the first frame of a steady `fps` starting at or after `seconds` (0 for a time
// before the start); nothing for a time or rate that is not a finite number, a rate not above 0,
// or an index a signed 64-bit integer cannot hold.
std::optional<std::int64_t> firstFrameStartingAtOrAfter(double seconds, double fps);

// That frame's start, index / fps seconds.
std::optional<double> frameStartAtOrAfter(double seconds, double fps);

} // namespace velmora
