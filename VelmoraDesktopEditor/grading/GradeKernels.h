#pragma once

#include <cmath>

#include "grading/GradeMath.h"
#include "grading/MoodMath.h"
#include "platform/image/Geometry.h"

// The four per-pixel grading kernels, in 32-bit floats. Each takes the sampled colour (straight
// alpha, kept as it is), and where the kernel depends on position, the destination coordinate of
// the pixel centre and the extent of the image the kernel is applied over. Parameters arrive as
// the kernel's numbers converted to float; what a kernel would recompute for every pixel from its
// parameters alone is done once, in the *Uniforms constructors.
namespace velmora::Exporter {

struct KernelPoint {
    float x = 0;
    float y = 0;
};

// ---- applyTempTint (temp, tint) ----
inline Color applyTempTint(const Color& s, float temp, float tint)
{
    const grademath::Rgb<float> c =
        grademath::applyTempTintColor(grademath::Rgb<float>{s.r, s.g, s.b}, temp, tint);
    return {c.r, c.g, c.b, s.a};
}

// ---- applyMood (moodType, moodAmount, six sliders) ----
struct MoodUniforms {
    float moodType = 0;
    float moodAmount = 0;
    float moodContrast = 0;
    float moodSaturation = 0;
    float moodWarmth = 0;
    float moodTealOrange = 0;
    float moodShadowLift = 0;
    float moodHighlightRolloff = 0;
    // Derived: the kernel's integer part of moodType + 0.5, and the clamped amount.
    int mood = 0;
    float amount = 0;
    bool passThrough = true;

    MoodUniforms() = default;
    MoodUniforms(double type, double amount, double contrast, double saturation, double warmth,
                 double tealOrange, double shadowLift, double highlightRolloff)
        : moodType(static_cast<float>(type)), moodAmount(static_cast<float>(amount)),
          moodContrast(static_cast<float>(contrast)), moodSaturation(static_cast<float>(saturation)),
          moodWarmth(static_cast<float>(warmth)), moodTealOrange(static_cast<float>(tealOrange)),
          moodShadowLift(static_cast<float>(shadowLift)),
          moodHighlightRolloff(static_cast<float>(highlightRolloff))
    {
        passThrough = !(moodType >= 0.5f) || !(moodAmount >= 0.0005f);
        // Mood numbers beyond any recipe behave alike; the bound keeps the conversion defined.
        const float t = std::fmin(moodType + 0.5f, 1000.0f);
        mood = passThrough ? 0 : static_cast<int>(t);
        this->amount = grademath::clampT(moodAmount, 0.0f, 1.0f);
    }
};

inline Color applyMood(const Color& s, const MoodUniforms& u)
{
    if (u.passThrough) {
        return s;
    }
    using grademath::Rgb;
    const Rgb<float> base{s.r, s.g, s.b};
    Rgb<float> m = grademath::applyMoodImpl(base, u.mood);
    m = grademath::applyMoodControlsImpl(m, u.moodContrast, u.moodSaturation, u.moodWarmth,
                                         u.moodTealOrange, u.moodShadowLift,
                                         u.moodHighlightRolloff);
    const Rgb<float> out = grademath::clamp01v(grademath::mix(base, m, u.amount));
    return {out.r, out.g, out.b, s.a};
}

// ---- applyVignette (strength) and the vignette of applyBasicGrade ----
// v = clamp(1 - d^2 * strength * 2.2, 0, 1) with d the distance of the pixel centre from the
// extent's centre in units of the extent's size, the horizontal axis scaled by the aspect ratio
// so that the darkening is circular in pixels.
struct VignetteGeometry {
    float originX = 0;
    float originY = 0;
    float sizeX = 1;
    float sizeY = 1;
    float aspect = 1; // width / max(1, height)

    VignetteGeometry() = default;
    explicit VignetteGeometry(const Rect& extent)
    {
        if (extent.isEmpty() || extent.isInfinite()) {
            return;
        }
        originX = static_cast<float>(extent.x);
        originY = static_cast<float>(extent.y);
        sizeX = std::fmax(static_cast<float>(extent.width), 1.0f);
        sizeY = std::fmax(static_cast<float>(extent.height), 1.0f);
        aspect = static_cast<float>(extent.width) / std::fmax(1.0f, static_cast<float>(extent.height));
    }

    float factor(KernelPoint dc, float strength) const
    {
        float px = (dc.x - originX) / sizeX - 0.5f;
        const float py = (dc.y - originY) / sizeY - 0.5f;
        px = px * aspect;
        const float d = std::sqrt(px * px + py * py);
        return grademath::clampT(1.0f - d * d * strength * 2.2f, 0.0f, 1.0f);
    }
};

inline Color applyVignette(const Color& s, KernelPoint dc, const VignetteGeometry& geometry,
                           float strength)
{
    const float v = geometry.factor(dc, strength);
    return {s.r * v, s.g * v, s.b * v, s.a};
}

// ---- applyBasicGrade (ten values) ----
struct BasicGradeUniforms {
    float exposure = 0;
    float contrast = 0;
    float highlights = 0;
    float shadows = 0;
    float saturation = 0;
    float vibrance = 0;
    float temperature = 0;
    float tint = 0;
    float vignette = 0;
    float debanding = 0;
    // Derived once per application.
    float exposureGain = 1; // 2^exposure
    float h = 0;            // clamped highlights
    float sh = 0;           // clamped shadows
    float contrastK = 1;    // 1 + contrast * 1.5
    float ditherAmplitude = 0;
    VignetteGeometry geometry;

    BasicGradeUniforms() = default;
    BasicGradeUniforms(double exposure_, double contrast_, double highlights_, double shadows_,
                       double saturation_, double vibrance_, double temperature_, double tint_,
                       double vignette_, double debanding_, const Rect& extent)
        : exposure(static_cast<float>(exposure_)), contrast(static_cast<float>(contrast_)),
          highlights(static_cast<float>(highlights_)), shadows(static_cast<float>(shadows_)),
          saturation(static_cast<float>(saturation_)), vibrance(static_cast<float>(vibrance_)),
          temperature(static_cast<float>(temperature_)), tint(static_cast<float>(tint_)),
          vignette(static_cast<float>(vignette_)), debanding(static_cast<float>(debanding_)),
          geometry(extent)
    {
        exposureGain = std::exp2(exposure);
        h = grademath::clampT(highlights, -1.0f, 1.0f);
        sh = grademath::clampT(shadows, -1.0f, 1.0f);
        contrastK = 1.0f + contrast * 1.5f;
        ditherAmplitude = (1.0f / 255.0f) * grademath::clampT(debanding, 0.0f, 1.0f);
    }

    bool usesPosition() const { return vignette > 0.0005f || debanding > 0.0005f; }
};

// `dc` is ignored unless the vignette or the dither is on.
inline Color applyBasicGrade(const Color& s, KernelPoint dc, const BasicGradeUniforms& u)
{
    using grademath::L709;
    using grademath::Rgb;
    Rgb<float> c{s.r * u.exposureGain, s.g * u.exposureGain, s.b * u.exposureGain};

    const float luma = L709(c);
    const float hMask = grademath::smoothstep(0.60f, 1.00f, luma);
    const float sMask = 1.0f - grademath::smoothstep(0.00f, 0.45f, luma);
    float luma2 = luma;
    if (std::fabs(u.highlights) > 0.0005f) {
        if (u.h > 0) {
            luma2 = luma2 + hMask * u.h * (1.0f - luma2);
        } else {
            luma2 = luma2 * (1.0f + u.h * hMask);
        }
    }
    if (std::fabs(u.shadows) > 0.0005f) {
        if (u.sh > 0) {
            luma2 = luma2 + sMask * u.sh * (0.18f - luma2);
        } else {
            luma2 = luma2 * (1.0f + u.sh * sMask);
        }
    }
    if (luma > 0.0005f) {
        c = grademath::scaled(c, luma2 / luma);
    }
    c = grademath::clampBelowZero(c);

    if (std::fabs(u.contrast) > 0.0005f) {
        const float L = L709(c);
        const float L2 = (L - 0.5f) * u.contrastK + 0.5f;
        if (L > 0.0005f) {
            c = grademath::scaled(c, L2 / L);
        }
        c = grademath::clampBelowZero(c);
    }

    if (std::fabs(u.temperature) > 0.0001f || std::fabs(u.tint) > 0.0001f) {
        c = grademath::applyTempTintColor(c, u.temperature, u.tint);
    }

    const float gray = L709(c);
    if (std::fabs(u.saturation) > 0.001f) {
        c = grademath::mix(gray, c, 1.0f + u.saturation);
    }
    if (std::fabs(u.vibrance) > 0.001f) {
        const float mx = std::fmax(c.r, std::fmax(c.g, c.b));
        const float mn = std::fmin(c.r, std::fmin(c.g, c.b));
        const float sat = mx > 0 ? (mx - mn) / mx : 0.0f;
        const float boost = u.vibrance * (1.0f - sat);
        c = grademath::mix(gray, c, 1.0f + boost);
    }

    if (u.vignette > 0.0005f) {
        c = grademath::scaled(c, u.geometry.factor(dc, u.vignette));
    }
    if (u.debanding > 0.0005f) {
        const float v = std::sin(dc.x * 12.9898f + dc.y * 78.233f) * 43758.5453f;
        const float n = v - std::floor(v);
        const float d = (n - 0.5f) * u.ditherAmplitude;
        c = {c.r + d, c.g + d, c.b + d};
    }

    const Rgb<float> p = grademath::clampBelowZero(c);
    const auto soft = [](float x) {
        const float over = grademath::maxZero(x - 1.0f);
        return x / (1.0f + over * 0.85f);
    };
    return {soft(p.r), soft(p.g), soft(p.b), s.a};
}

// ---- kernel availability ----
// A compiled colour kernel. Kernels here are C++ functions and are always available; the
// statics exist so that every step keeps its fallback path (colour matrix, cached colour cube,
// stock filters) and that path can be exercised: see ScopedKernelsUnavailable.
struct ColorKernel {
    const char* entryPoint;
};

// The kernel statics: the kernel, or null when it is not available.
const ColorKernel* tempTintKernel();
const ColorKernel* moodKernel();
const ColorKernel* vignetteKernel();
const ColorKernel* basicGradeKernel();

// While an instance lives, every kernel static answers null, so every grading step takes its
// fallback path (for tests and diagnostics). Process-wide; instances may nest.
class ScopedKernelsUnavailable {
public:
    ScopedKernelsUnavailable();
    ~ScopedKernelsUnavailable();
    ScopedKernelsUnavailable(const ScopedKernelsUnavailable&) = delete;
    ScopedKernelsUnavailable& operator=(const ScopedKernelsUnavailable&) = delete;
};

} // namespace velmora::Exporter
