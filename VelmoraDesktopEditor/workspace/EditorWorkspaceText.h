#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/FrameRates.h"

// The texts the Edit workspace builds from numbers and names. Numbers are formatted in the C
// locale whatever the user's locale. Pure functions; any thread.
namespace velmora::EditorWorkspaceText {

// "1920×1080 · 59.94 fps": the canvas and a frame rate, with 59.94 and 23.976 named as such
// (within 0.01), other whole rates without decimals ("25 fps") and the rest with two
// ("12.50 fps", "29.97 fps").
std::string previewCanvasLabel(int width, int height, double fps);

// A non-drop-frame timecode "MM:SS:FF" of `seconds` at `fps`: the number of the frame shown at
// that time on the rate's frame grid (FrameGrid::ofRate, the export's), counted in displayed
// seconds of n frames for a whole rate n or a rate n·1000 / 1001; minutes are not folded into
// hours (75:00:00). At 59.94 fps, 10 s is frame 599 and reads 00:09:59. Any other rate (12.5,
// 0.2) reads the second its frame starts in and the frame's number among those starting in that
// second: at 12.5 fps, 2 s is frame 25 and reads 00:02:00. A time that is not a finite number, or
// below 0, reads 00:00:00; a rate that is not a finite number above 0 counts as
// defaultFrameRate (projectFrameRate).
std::string timeLabel(double seconds, double fps);

// The message of the "Relink media" alert: its first line depends on whether the project came
// from a browser editor's project file; then, when names are given, an empty line, the first 8
// names one a line, each as it is shown (shownText), and "…and N more" for the rest.
std::string relinkMessage(bool openedWebTavlek, const std::vector<std::string>& missingNames);

// "v" + short version + " (" + build number + ")", "?" standing for a missing value.
std::string versionBadge(const std::optional<std::string>& shortVersion, const std::optional<std::string>& buildNumber);

} // namespace velmora::EditorWorkspaceText
