#pragma once

#include <string>
#include <string_view>

namespace velmora {

// A font as the text engine draws it: an installed family, a weight and slant, and a size in
// pixels of the image drawn into (fractional sizes are exact; nothing is hinted).
struct TextFont {
    std::string family;    // an installed family name, exactly as the font database spells it
    int weight = 400;      // 100 (thin) ... 400 (regular) ... 700 (bold) ... 900 (black)
    bool italic = false;
    double pixelSize = 0;
    // True when the requested name matched no installed font and the heavy system font stands in.
    bool isFallback = false;

    bool operator==(const TextFont&) const = default;
};

// Resolves a font name as jobs spell it: an installed family (any letter case); a family that
// an installed metric-compatible family replaces ("Arial" and "Helvetica" by Liberation Sans,
// "Times New Roman" by Liberation Serif, "Courier New" by Liberation Mono); or either of those
// followed by a style ("Arial Bold", "Arial-BoldItalicMT"). Any other name gives the system's
// general font at the same size with heavy (800) weight, marked isFallback.
// Requires ensureTextEngine(). Thread-safe.
TextFont resolveTextFont(std::string_view name, double pixelSize);

// The system's general font family as installed (the fallback's family).
std::string systemFontFamily();

} // namespace velmora
