#include "model/DesktopJobTool.h"

#include <nlohmann/json.hpp>

#include "platform/foundation/StringText.h"

namespace velmora::DesktopJobTool {

bool isTimelineRenderJob(const std::optional<std::string>& tool)
{
    if (!tool) {
        return false;
    }
    const std::string trimmed = StringText::trimmed(*tool);
    return !trimmed.empty() && (trimmed == browserExport || trimmed == editReturn || trimmed == editSession);
}

bool isWrittenByThisEditor(const std::optional<std::string>& tool)
{
    if (!tool) {
        return false;
    }
    const std::string trimmed = StringText::trimmed(*tool);
    return trimmed == editReturn || trimmed == editSession;
}

bool isProjectDocument(const std::optional<std::string>& tool)
{
    return tool && StringText::trimmed(*tool) == editSession;
}

bool isTimelineJobDocument(const nlohmann::json& document)
{
    if (!document.is_object()) {
        return false;
    }
    const auto tool = document.find("tool");
    if (tool != document.end() && tool->is_string() && isTimelineRenderJob(tool->get<std::string>())) {
        return true;
    }
    const auto timelines = document.find("timelines");
    return timelines != document.end() && timelines->is_array() && !timelines->empty();
}

OverlayRenderFlags overlayRenderFlags(const std::vector<EditorJobV2::Clip>& clips)
{
    OverlayRenderFlags flags;
    for (const auto& clip : clips) {
        const std::string type = clip.type.value_or("");
        const bool lowerThird = clip.isLowerThird.value_or(false);
        if (type == "text" && !lowerThird) {
            flags.text = true;
        }
        if (type == "text" && lowerThird) {
            flags.lowerThirds = true;
        }
        if (type == "image") {
            flags.images = true;
        }
    }
    return flags;
}

} // namespace velmora::DesktopJobTool
