#pragma once

#include <optional>
#include <string>

#include "grading/CubeLUT.h"
#include "model/EditorJobV2.h"
#include "platform/image/Image.h"

namespace velmora::Exporter {

// The clip's slider grade (exposure, contrast, highlights, shadows, saturation, vibrance,
// temperature, tint in stored units, plus vignette — `vignette`, else `vignetteStrength` — and
// debanding). Absent or non-finite values count as 0. The input itself when every value is
// within its neutral threshold. Kernel applyBasicGrade over the image's extent when available;
// otherwise a cached 33-point cube for the colour part, then the stock vignette
// (intensity clamp(vignette * 2.2, 0, 2), radius 1) and noise reduction (level
// clamp(debanding * 0.01, 0, 0.02), sharpness 0.2). `outW` and `outH` do not affect the result.
Image applyBasicGradeImage(const Image& image,
                           const std::optional<EditorJobV2::ClipGrade::GradeParams>& params,
                           int outW, int outH);

// The colour part of the basic grade as a cube of `size` (clamped to [2, 65]) points, computed in
// double; entries clamped to [0, 1].
CubeLUT buildBasicGradeCube(int size, double exposure, double contrast, double highlights,
                            double shadows, double saturation, double vibrance,
                            double temperature, double tint);

// The cached-cube colour step alone (no neutral test, no vignette or noise reduction).
Image applyBasicGradeFallbackCube(const Image& image, double exposure, double contrast,
                                  double highlights, double shadows, double saturation,
                                  double vibrance, double temperature, double tint);

// "e=…|c=…|hi=…|sh=…|sat=…|vib=…|t=…|ti=…", each number with six decimals.
std::string basicCubeKey(double exposure, double contrast, double highlights, double shadows,
                         double saturation, double vibrance, double temperature, double tint);

// Kernel applyVignette over the image's extent: the colour times
// clamp(1 - d^2 * strength * 2.2, 0, 1) for any strength. No grading step uses it.
Image applyVignetteImage(const Image& image, double strength);

// Scales the image to cover outW x outH (aspect fill) and crops the overflow equally on both
// sides: result extent (0, 0, outW, outH). An image without a finite, non-empty extent is
// returned as it is.
Image fitToOutput(const Image& image, int outW, int outH);

} // namespace velmora::Exporter
