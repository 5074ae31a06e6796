#include "inspectors/ProjectSettingsPresets.h"

#include <cmath>

#include "preview/StatusText.h"

namespace velmora::ProjectSettingsPresets {
namespace {

struct NamedRate {
    double rate;
    const char* text;
};

// The picker's rates, in its order; a rate closer than kNamedRateTolerance to one of them takes
// its name (the first such, checked in this order).
constexpr NamedRate kNamedRates[] = {
    {23.976, "23.976 fps (Film)"}, {24, "24 fps (Velmora)"},  {25, "25 fps (PAL)"},
    {29.97, "29.97 fps (NTSC)"},   {30, "30 fps"},            {48, "48 fps"},
    {50, "50 fps (PAL HFR)"},      {59.94, "59.94 fps (NTSC)"}, {60, "60 fps"},
    {100, "100 fps (HFR)"},        {120, "120 fps (HFR)"},    {200, "200 fps (HFR)"},
    {240, "240 fps (HFR)"},
};
constexpr double kNamedRateTolerance = 0.01;

} // namespace

const std::vector<ProjectResolutionPreset>& resolutions()
{
    static const std::vector<ProjectResolutionPreset> presets = {
        {"1080p Landscape (1920\u00D71080)", 1920, 1080}, {"4K Landscape (3840\u00D72160)", 3840, 2160},
        {"Velmora 2.23:1 (3840\u00D71720)", 3840, 1720},  {"Velmora 2.39:1 (3840\u00D71608)", 3840, 1608},
        {"2K QHD (2560\u00D71440)", 2560, 1440},          {"720p Landscape (1280\u00D7720)", 1280, 720},
        {"1080p Vertical (1080\u00D71920)", 1080, 1920},  {"Instagram 4:5 (1080\u00D71350)", 1080, 1350},
        {"Square (1080\u00D71080)", 1080, 1080},
    };
    return presets;
}

const std::vector<double>& fpsOptions()
{
    // The picker offers exactly the named rates, in their order.
    static const std::vector<double> rates = [] {
        std::vector<double> all;
        for (const NamedRate& named : kNamedRates)
            all.push_back(named.rate);
        return all;
    }();
    return rates;
}

std::optional<ProjectResolutionPreset> preset(int matchingWidth, int height)
{
    for (const ProjectResolutionPreset& candidate : resolutions()) {
        if (candidate.width == matchingWidth && candidate.height == height) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<ProjectResolutionPreset> preset(const std::string& label)
{
    for (const ProjectResolutionPreset& candidate : resolutions()) {
        if (candidate.label == label) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string frameRateLabel(double fps)
{
    for (const NamedRate& named : kNamedRates) {
        if (std::abs(fps - named.rate) < kNamedRateTolerance) {
            return named.text;
        }
    }
    const bool whole = std::isfinite(fps) && fps == std::trunc(fps);
    return StatusText::fixed(fps, whole ? 0 : 2) + " fps";
}

} // namespace velmora::ProjectSettingsPresets
