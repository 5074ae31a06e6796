#include "workspace/EditorWorkspaceText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "editing/PreviewFrameTiming.h"
#include "platform/foundation/NumberText.h"
#include "preview/StatusText.h"

namespace velmora::EditorWorkspaceText {
namespace {

constexpr std::size_t relinkNamesShown = 8;

std::string twoDigits(std::int64_t value)
{
    std::string text = NumberText::integer(value);
    if (text.size() < 2)
        text.insert(text.begin(), '0');
    return text;
}

} // namespace

std::string previewCanvasLabel(int width, int height, double fps)
{
    std::string rate;
    if (std::abs(fps - 59.94) < 0.01)
        rate = "59.94 fps";
    else if (std::abs(fps - 23.976) < 0.01)
        rate = "23.976 fps";
    else if (std::isfinite(fps) && fps == std::floor(fps))
        rate = StatusText::fixed(fps, 0) + " fps";
    else
        rate = StatusText::fixed(fps, 2) + " fps";
    return NumberText::integer(width) + "×" + NumberText::integer(height) + " · " + rate;
}

std::string timeLabel(double seconds, double fps)
{
    fps = projectFrameRate(fps);
    if (!std::isfinite(seconds) || seconds < 0)
        return "00:00:00";
    // The frame shown at that time, counted as the monitor and the export count it.
    const std::int64_t total = std::max<std::int64_t>(FrameGrid::ofRate(fps).index(seconds), 0);
    const std::int64_t perSecond = std::max<std::int64_t>(std::llround(fps), 1);
    const std::int64_t wholeSeconds = total / perSecond;
    const std::int64_t minutes = wholeSeconds / 60;
    const std::int64_t secs = wholeSeconds - 60 * minutes;
    const std::int64_t remainder = total - wholeSeconds * perSecond;
    return twoDigits(minutes) + ":" + twoDigits(secs) + ":" + twoDigits(remainder);
}

std::string relinkMessage(bool openedWebTavlek, const std::vector<std::string>& missingNames)
{
    std::string message =
        openedWebTavlek
            ? "Web .tavlek projects do not include video files. Point to the folder on this computer that contains "
              "the original clips."
            : "Some clips are missing from the project media folder. Choose the folder that contains these files "
              "(subfolders are OK).";
    if (missingNames.empty())
        return message;
    message += "\n";
    const std::size_t shown = std::min(missingNames.size(), relinkNamesShown);
    for (std::size_t i = 0; i < shown; ++i)
        message += "\n" + missingNames[i];
    if (missingNames.size() > relinkNamesShown) {
        message += "\n…and " + NumberText::integer(static_cast<std::int64_t>(missingNames.size() - relinkNamesShown)) +
                   " more";
    }
    return message;
}

std::string versionBadge(const std::optional<std::string>& shortVersion, const std::optional<std::string>& buildNumber)
{
    return "v" + shortVersion.value_or("?") + " (" + buildNumber.value_or("?") + ")";
}

} // namespace velmora::EditorWorkspaceText
