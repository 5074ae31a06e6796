#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// The fixed vocabulary of the per-clip grade: the mood looks (grouped for the mood menu), the
// mood and basic-grade sliders of the grade inspector, and the factors between a basic slider's
// value and the value stored in a clip's grade parameters. Constant tables built once on first
// use; safe to read from any thread.
namespace velmora::ClipGradeCatalog {

struct MoodOption {
    std::string key;   // stored as the clip's mood key
    std::string label; // shown in the menu

    const std::string& id() const { return key; }
    bool operator==(const MoodOption&) const = default;
};

struct MoodGroup {
    std::string label;
    std::vector<MoodOption> items; // menu order

    const std::string& id() const { return label; }
    bool operator==(const MoodGroup&) const = default;
};

struct SliderSpec {
    std::string id; // edit-state field and grade-parameter key
    std::string label;
    double min = 0;
    double max = 0;
    double step = 0;
    double defaultValue = 0;
    bool isSigned = false; // shown as "%+.2f" rather than "%.2f"

    // The value as the slider shows it, with two decimals (and a sign when isSigned), in the C
    // locale.
    std::string formatValue(double value) const;

    bool operator==(const SliderSpec&) const = default;
};

// "Cameras" (13), "Film Stocks" (18), "Looks" (15): 46 options, keys unique across groups.
const std::vector<MoodGroup>& moodGroups();
// The seven mood sliders, amount first.
const std::vector<SliderSpec>& moodSliders();
// The eight basic sliders: exposure, contrast, highlights, shadows, saturation, vibrance,
// temperature, tint.
const std::vector<SliderSpec>& basicSliders();
// Stored value = slider value x factor, for the eight basic slider ids (mood sliders have none).
const std::unordered_map<std::string, double>& basicShaderScale();

} // namespace velmora::ClipGradeCatalog

template <>
struct std::hash<velmora::ClipGradeCatalog::MoodOption> {
    std::size_t operator()(const velmora::ClipGradeCatalog::MoodOption& option) const noexcept
    {
        const std::size_t h = std::hash<std::string>{}(option.key);
        return h ^ (std::hash<std::string>{}(option.label) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};
