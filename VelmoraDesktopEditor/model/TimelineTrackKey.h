#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/EditSession.h"

// Text keys of timeline lanes, as stored in a timeline's lockedTracks and mutedTracks:
// "video-N" and "audio-N", N from 1. Keys compare as plain case-sensitive text.
namespace velmora::TimelineTrackKey {

// Lane numbers below 1 are keyed as lane 1.
std::string video(std::int64_t lane);
std::string audio(std::int64_t lane);

// The key of the clip's lane by its effective kind: video and audio clips have one (an absent
// track is lane 1); image, text and other kinds have none.
std::optional<std::string> from(const EditSession::Clip& clip);

} // namespace velmora::TimelineTrackKey
