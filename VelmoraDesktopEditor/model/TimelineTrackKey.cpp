#include "model/TimelineTrackKey.h"

#include <algorithm>

#include "platform/foundation/NumberText.h"

namespace velmora::TimelineTrackKey {

std::string video(std::int64_t lane)
{
    return "video-" + NumberText::integer(std::max<std::int64_t>(lane, 1));
}

std::string audio(std::int64_t lane)
{
    return "audio-" + NumberText::integer(std::max<std::int64_t>(lane, 1));
}

std::optional<std::string> from(const EditSession::Clip& clip)
{
    const std::int64_t lane = clip.track.value_or(1);
    const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
    if (kind == "video") {
        return video(lane);
    }
    if (kind == "audio") {
        return audio(lane);
    }
    return std::nullopt;
}

} // namespace velmora::TimelineTrackKey
