#pragma once

#include <optional>
#include <string>

#include "grading/CubeLUT.h"
#include "model/EditorJobV2.h"
#include "platform/image/Image.h"

namespace velmora::Exporter {

// The mood number of a stored mood key: the key trimmed and lower-cased, looked up among the 46
// keys of the clip grade catalogue; 0 for an absent, empty or unknown key (and for "none").
double moodTypeForKey(const std::optional<std::string>& key);

// The clip's mood look: on when isMoodEnabled or moodEnabled is true and the key is known;
// amount = moodIntensity, else moodAmount, else 1, clamped to [0, 1] (below 0.0005: off);
// sliders clamped to [-1, 1] (roll-off to [0, 1]); a non-finite value counts as absent.
// Kernel applyMood when available, else applyMoodFallbackCube. The input itself when off.
Image applyMoodImage(const Image& image,
                     const std::optional<EditorJobV2::ClipGrade::GradeParams>& params);

// The mood through a cached 33-point cube (cache key of moodCubeKey, 24 cubes, first stored first
// evicted). m = moodType rounded half away from zero; the input itself when m <= 0, the amount is
// below 0.0005 after clamping to [0, 1], or moodType is not finite.
Image applyMoodFallbackCube(const Image& image, double moodType, double amount,
                            double moodContrast, double moodSaturation, double moodWarmth,
                            double moodTealOrange, double moodShadowLift,
                            double moodHighlightRolloff);

// The mood cube of any size (clamped to [2, 65]), computed in double: entry =
// clamp01(base * (1 - a) + look(base) * a) for each lattice colour base.
CubeLUT buildMoodCube(int size, int mood, double moodAmount, double moodContrast,
                      double moodSaturation, double moodWarmth, double moodTealOrange,
                      double moodShadowLift, double moodHighlightRolloff);

// A rough stand-in for a few moods from look adjustment and temperature/tint alone.
Image applyMoodFallbackImage(const Image& image, double moodType, double amount);

// "m=<m>|a=<a>|c=…|s=…|w=…|to=…|sl=…|hr=…", the seven numbers with six decimals.
std::string moodCubeKey(double mood, double amount, double moodContrast, double moodSaturation,
                        double moodWarmth, double moodTealOrange, double moodShadowLift,
                        double moodHighlightRolloff);

} // namespace velmora::Exporter
