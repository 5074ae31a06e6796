#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// One canvas size the project settings offer. The label is also its identity in the picker.
struct ProjectResolutionPreset {
    std::string label;
    int width = 0;  // pixels
    int height = 0; // pixels

    const std::string& id() const { return label; }
    bool operator==(const ProjectResolutionPreset&) const = default;
};

// The fixed choices of the project settings sheet. Constants; safe from any thread.
namespace ProjectSettingsPresets {

// The label of the picker entry that stands for a size of the user's own ("Custom…", with the
// one-character ellipsis).
inline constexpr const char* customLabel = "Custom\u2026";

// The nine canvas presets, landscape first; no two share a label or a size.
const std::vector<ProjectResolutionPreset>& resolutions();
// The frame rates on offer, ascending.
const std::vector<double>& fpsOptions();

// The first preset of exactly that width and height (orientation counts); none otherwise.
std::optional<ProjectResolutionPreset> preset(int matchingWidth, int height);
// The first preset with exactly that label; none otherwise ("Custom…" included).
std::optional<ProjectResolutionPreset> preset(const std::string& label);

// The text the frame rate picker shows for a rate: the named rate lying closer than 0.01
// ("23.976 fps (Film)", "24 fps (Velmora)", …), else the rate as "%.2f fps" with a fractional
// part or "%.0f fps" without one, in the C locale.
std::string frameRateLabel(double fps);

} // namespace ProjectSettingsPresets

} // namespace velmora
