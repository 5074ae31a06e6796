#pragma once

// Shared vocabulary of the timeline editing operations: the defaults every edit reads a clip
// with, clip kinds and lane keys, and lookups inside one timeline. Internal to the editing
// layer (and its tests); callers outside use the EditSession members.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ClipSpeed.h"
#include "model/EditSession.h"

namespace velmora::editing {

using Clip = EditSession::Clip;
using Timeline = EditSession::Timeline;

// Missing timing counts as 0, a missing lane as lane 1.
inline double startOf(const Clip& clip) { return clip.startTime.value_or(0.0); }
inline double durationOf(const Clip& clip) { return clip.duration.value_or(0.0); }
inline double endOf(const Clip& clip) { return startOf(clip) + durationOf(clip); }
inline double inPointOf(const Clip& clip) { return clip.inPoint.value_or(0.0); }
inline int laneOf(const Clip& clip) { return clip.track.value_or(1); }

// The rate the clip plays at (effectiveClipSpeed of its stored speed).
inline double speedOf(const Clip& clip) { return effectiveClipSpeed(clip.speed); }

// The effective kind ("video", "audio", "image", "text" or another word).
std::string kindOf(const Clip& clip);
inline bool isVideo(const Clip& clip) { return kindOf(clip) == "video"; }
inline bool isAudio(const Clip& clip) { return kindOf(clip) == "audio"; }
bool isVisual(const Clip& clip); // video, image or text

// The lane key of a clip ("video-n" / "audio-n"); image and text clips have none.
std::optional<std::string> laneKeyOf(const Clip& clip);
std::string videoLaneKey(std::int64_t lane);
std::string audioLaneKey(std::int64_t lane);

// Text rules shared with the media stem: trimming of white space and line breaks, and lower
// case, both Unicode-aware.
std::string trimmedWhitespaceAndNewlines(std::string_view text);
std::string trimmedWhitespace(std::string_view text);
std::string lowercased(std::string_view text);

// Index of the first clip of the timeline with the id.
std::optional<std::size_t> indexOfClip(const Timeline& timeline, std::string_view id);

// The timeline at the index, or nullptr when the index is outside the session's timelines.
Timeline* timelineAt(EditSession& session, std::size_t index);
const Timeline* timelineAt(const EditSession& session, std::size_t index);

// Eight upper-case hexadecimal characters from a fresh random UUID.
std::string randomUuidPrefix();

// Wrappers over the session's own timing rules, so every edit normalises the same way.
void normalizeClipTiming(Clip& clip);

inline bool isFinite(double value) { return std::isfinite(value); }

} // namespace velmora::editing
