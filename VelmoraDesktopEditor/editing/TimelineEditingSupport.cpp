#include "editing/TimelineEditingSupport.h"

#include "platform/foundation/StringText.h"
#include "platform/foundation/Uuid.h"
#include "model/TimelineTrackKey.h"

namespace velmora::editing {

namespace {

// The Unicode space separators and tab, UTF-8 encoded: white space that is not a line break.
constexpr std::string_view kSpaces[] = {
    "\t", " ", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
};

} // namespace

std::string trimmedWhitespaceAndNewlines(std::string_view text)
{
    return StringText::trimmed(text);
}

std::string trimmedWhitespace(std::string_view text)
{
    for (bool changed = true; changed && !text.empty();) {
        changed = false;
        for (const std::string_view space : kSpaces) {
            if (text.starts_with(space)) {
                text.remove_prefix(space.size());
                changed = true;
            }
            if (text.ends_with(space)) {
                text.remove_suffix(space.size());
                changed = true;
            }
        }
    }
    return std::string(text);
}

std::string lowercased(std::string_view text)
{
    return StringText::lowercased(text);
}

std::string kindOf(const Clip& clip)
{
    return EditSession::normalizedClipType(clip.type, clip.name);
}

bool isVisual(const Clip& clip)
{
    const std::string kind = kindOf(clip);
    return kind == "video" || kind == "image" || kind == "text";
}

std::optional<std::string> laneKeyOf(const Clip& clip)
{
    return TimelineTrackKey::from(clip);
}

std::string videoLaneKey(std::int64_t lane) { return TimelineTrackKey::video(lane); }
std::string audioLaneKey(std::int64_t lane) { return TimelineTrackKey::audio(lane); }

std::optional<std::size_t> indexOfClip(const Timeline& timeline, std::string_view id)
{
    for (std::size_t i = 0; i < timeline.clips.size(); ++i) {
        if (timeline.clips[i].id == id) {
            return i;
        }
    }
    return std::nullopt;
}

Timeline* timelineAt(EditSession& session, std::size_t index)
{
    return index < session.timelines.size() ? &session.timelines[index] : nullptr;
}

const Timeline* timelineAt(const EditSession& session, std::size_t index)
{
    return index < session.timelines.size() ? &session.timelines[index] : nullptr;
}

std::string randomUuidPrefix()
{
    return Uuid::randomText().substr(0, 8);
}

void normalizeClipTiming(Clip& clip)
{
    EditSession::normalizeTiming(clip);
}

} // namespace velmora::editing
