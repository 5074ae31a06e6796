#include "workspace/EditorWorkspaceText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "editing/PreviewFrameTiming.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/ShownText.h"
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
    const FrameGrid grid = FrameGrid::ofRate(fps);
    const std::int64_t total = std::max<std::int64_t>(grid.index(seconds), 0);
    const RateTimebase timebase = rateTimebase(fps);
    std::int64_t wholeSeconds = 0;
    std::int64_t remainder = 0;
    if (timebase.step == 1 || (timebase.step == 1001 && timebase.timescale % 1000 == 0)) {
        // Labelled seconds of the nominal whole number of frames (non-drop for the 1001 family).
        const std::int64_t perSecond = std::max<std::int64_t>(timebase.timescale / (timebase.step == 1 ? 1 : 1000), 1);
        wholeSeconds = total / perSecond;
        remainder = total - wholeSeconds * perSecond;
    } else {
        // A rate with no whole number of frames a second: the second its frame starts in, and
        // the frame's place among the frames starting in that second.
        wholeSeconds = static_cast<std::int64_t>(std::floor(grid.start(total) + 1e-9));
        const auto firstOfSecond =
            static_cast<std::int64_t>(std::ceil(static_cast<double>(wholeSeconds) * grid.rate() - 1e-6));
        remainder = total - firstOfSecond;
    }
    const std::int64_t minutes = wholeSeconds / 60;
    const std::int64_t secs = wholeSeconds - 60 * minutes;
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
        message += "\n" + shownText(missingNames[i]);
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
