#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The choices of the "10-bit Export" workspace's output settings: containers, gamma modes and
// the four compensation sliders, and how the bit-rate text becomes a bit rate.
namespace velmora::OutputSettings {

struct Option {
    const char* value;
    const char* label;
};

// In display order.
inline constexpr std::array<Option, 2> containers{{{"mp4", "MP4"}, {"mov", "MOV"}}};

// In display order; the first is the initial value. The key is handed unchanged to the engine.
inline constexpr std::array<Option, 6> gammaModes{{{"rec709", "Rec.709 (Default)"},
                                                   {"rec709a", "QuickTime (1.96) / Rec.709-A"},
                                                   {"g22", "Gamma 2.2"},
                                                   {"g24", "Gamma 2.4"},
                                                   {"g20", "Gamma 2.0"},
                                                   {"srgb", "sRGB Tag"}}};

enum class Compensation { contrast, saturation, brightness, tint };

struct CompensationSlider {
    Compensation which;
    const char* label;
    double minimum;
    double maximum;
    double step;
    // printf format of the value text.
    const char* format;
    // The initial and Reset value; the neutral setting leaves the picture unchanged.
    double neutral;
};

// In display order.
inline constexpr std::array<CompensationSlider, 4> compensationSliders{{
    {Compensation::contrast, "Contrast", 0.4, 2.5, 0.01, "%.2f", 1.0},
    {Compensation::saturation, "Saturation", 0.0, 2.5, 0.01, "%.2f", 1.0},
    {Compensation::brightness, "Brightness", -0.25, 0.25, 0.001, "%.3f", 0.0},
    {Compensation::tint, "Tint", -1.0, 1.0, 0.001, "%+.3f", 0.0},
}};

const CompensationSlider& slider(Compensation which);

// The value inside the slider's range (NaN becomes the neutral value).
double clampedValue(Compensation which, double value);

// The value as the slider shows it: "1.00", "0.000", "+0.000", "-0.500". A negative zero reads
// as zero ("+0.000").
std::string valueText(Compensation which, double value);

// The bit-rate text (megabits per second) as bits per second; absent means automatic. The text is
// trimmed, a decimal comma becomes a point, and the whole rest must read as a C-locale strtod
// number (hexadecimal and exponents included). Anything else, a number that is not finite or not
// above 0, or a figure beyond the 64-bit range gives automatic; the product is truncated toward
// zero, so a tiny positive rate gives 0, which is a value, not automatic.
std::optional<std::int64_t> bitrateOverrideBps(std::string_view text);

} // namespace velmora::OutputSettings
