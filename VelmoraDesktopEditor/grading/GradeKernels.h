#pragma once

#include <cmath>
#include <cstddef>

#include "grading/GradeMath.h"
#include "grading/MoodMath.h"
#include "platform/image/Geometry.h"
#include "platform/image/PixelOp.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// The four per-pixel grading kernels, in 32-bit floats: applyTempTint, applyMood, applyVignette
// and applyBasicGrade. Each takes the sampled colour (straight alpha, kept as it is) and, where it
// depends on position, the destination coordinate of the pixel centre and the extent of the image
// it is applied over. Parameters arrive as the kernel's numbers converted to float; what a kernel
// would recompute for every pixel from its parameters alone is done once, in the *Uniforms
// constructors. The Color forms below take one pixel; the grading steps run the same templates
// on 4 or 8 pixels at a time (the *Lanes structs, for lanes::forEachLane).
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

struct TempTintLanes {
    float temp;
    float tint;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const grademath::Rgb<V> c = grademath::applyTempTintColor(grademath::Rgb<V>{r, g, b}, temp, tint);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

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
        this->amount = grademath::clampT<float>(moodAmount, 0.0f, 1.0f);
    }
};

template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> moodColor(const grademath::Rgb<V>& base, const MoodUniforms& u)
{
    grademath::Rgb<V> m = grademath::applyMoodImpl(base, u.mood);
    m = grademath::applyMoodControlsImpl(m, u.moodContrast, u.moodSaturation, u.moodWarmth,
                                         u.moodTealOrange, u.moodShadowLift, u.moodHighlightRolloff);
    return grademath::clamp01v(grademath::mixRgb(base, m, u.amount));
}

inline Color applyMood(const Color& s, const MoodUniforms& u)
{
    if (u.passThrough) {
        return s;
    }
    const grademath::Rgb<float> out = moodColor(grademath::Rgb<float>{s.r, s.g, s.b}, u);
    return {out.r, out.g, out.b, s.a};
}

struct MoodLanes {
    MoodUniforms u;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const grademath::Rgb<V> c = moodColor(grademath::Rgb<V>{r, g, b}, u);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

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

    template <class V>
    VELMORA_LANES_INLINE V factor(const V& x, float y, float strength) const
    {
        V px = (x - originX) / sizeX - 0.5f;
        const float py = (y - originY) / sizeY - 0.5f;
        px = px * aspect;
        // d^2 directly: the length's square root and its square cancel.
        const V d2 = px * px + py * py;
        return grademath::clampT<V>(1.0f - d2 * strength * 2.2f, 0.0f, 1.0f);
    }
};

inline Color applyVignette(const Color& s, KernelPoint dc, const VignetteGeometry& geometry,
                           float strength)
{
    const float v = geometry.factor(dc.x, dc.y, strength);
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
        ditherAmplitude = (1.0f / 255.0f) * grademath::clampT<float>(debanding, 0.0f, 1.0f);
    }

    bool usesPosition() const { return vignette > 0.0005f || debanding > 0.0005f; }
};

// Steps 2 to 10 of the basic grade (after exposure, before vignette and dither): the colour
// part that the fallback cube also computes. S is the parameters' precision.
template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> basicGradeColor(const grademath::Rgb<V>& in, grademath::Scalar<V> contrast,
                                                       grademath::Scalar<V> highlights,
                                                       grademath::Scalar<V> shadows,
                                                       grademath::Scalar<V> saturation,
                                                       grademath::Scalar<V> vibrance,
                                                       grademath::Scalar<V> temperature,
                                                       grademath::Scalar<V> tint)
{
    using namespace grademath;
    using S = Scalar<V>;
    Rgb<V> c = in;
    const V luma = L709(c);
    V luma2 = luma;
    if (std::fabs(highlights) > S(0.0005)) {
        const V hMask = smoothstep(S(0.60), S(1.00), luma);
        const S h = clampT<S>(highlights, S(-1), S(1));
        if (h > 0) {
            luma2 = luma2 + hMask * h * (S(1) - luma2);
        } else {
            luma2 = luma2 * (S(1) + h * hMask);
        }
    }
    if (std::fabs(shadows) > S(0.0005)) {
        const V sMask = S(1) - smoothstep(S(0.00), S(0.45), luma);
        const S sh = clampT<S>(shadows, S(-1), S(1));
        if (sh > 0) {
            luma2 = luma2 + sMask * sh * (S(0.18) - luma2);
        } else {
            luma2 = luma2 * (S(1) + sh * sMask);
        }
    }
    const V one = lanes::splat<V>(S(1));
    c = clampBelowZero(scaled(c, select(luma > S(0.0005), lanes::vdiv(luma2, luma), one)));

    if (std::fabs(contrast) > S(0.0005)) {
        const V L = L709(c);
        const V L2 = (L - S(0.5)) * (S(1) + contrast * S(1.5)) + S(0.5);
        c = clampBelowZero(scaled(c, select(L > S(0.0005), lanes::vdiv(L2, L), one)));
    }
    if (std::fabs(temperature) > S(0.0001) || std::fabs(tint) > S(0.0001)) {
        c = applyTempTintColor(c, temperature, tint);
    }
    const V gray = L709(c);
    if (std::fabs(saturation) > S(0.001)) {
        c = mixToward(gray, c, S(1) + saturation);
    }
    if (std::fabs(vibrance) > S(0.001)) {
        const V mx = vmax(c.r, vmax(c.g, c.b));
        const V mn = vmin(c.r, vmin(c.g, c.b));
        // Exact: mx may be subnormal here.
        const V sat = select(mx > S(0), (mx - mn) / mx, lanes::splat<V>(S(0)));
        const V boost = vibrance * (S(1) - sat);
        c = mixToward(gray, c, S(1) + boost);
    }
    return c;
}

// The soft ceiling: negatives to 0, values above 1 compressed (not clipped).
template <class V>
VELMORA_LANES_INLINE V softCeiling(const V& x)
{
    using S = grademath::Scalar<V>;
    const V p = grademath::maxZero(x);
    const V over = grademath::maxZero(p - S(1));
    return lanes::vdiv(p, S(1) + over * S(0.85));
}

// The whole kernel on lanes: `x` holds each lane's destination x, `y` the row's.
template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> basicGradeLanes(const grademath::Rgb<V>& s, const V& x, float y,
                                                       const BasicGradeUniforms& u, bool hasPosition)
{
    grademath::Rgb<V> c = grademath::scaled(s, u.exposureGain);
    c = basicGradeColor(c, u.contrast, u.highlights, u.shadows, u.saturation, u.vibrance,
                        u.temperature, u.tint);
    if (hasPosition && u.vignette > 0.0005f) {
        c = grademath::scaled(c, u.geometry.factor(x, y, u.vignette));
    }
    if (hasPosition && u.debanding > 0.0005f) {
        const V v = lanes::vsin(x * 12.9898f + y * 78.233f) * 43758.5453f;
        const V n = v - lanes::vfloor(v);
        const V d = (n - 0.5f) * u.ditherAmplitude;
        c = {c.r + d, c.g + d, c.b + d};
    }
    return {softCeiling(c.r), softCeiling(c.g), softCeiling(c.b)};
}

// `dc` is ignored unless the vignette or the dither is on.
inline Color applyBasicGrade(const Color& s, KernelPoint dc, const BasicGradeUniforms& u)
{
    const grademath::Rgb<float> c = basicGradeLanes(grademath::Rgb<float>{s.r, s.g, s.b}, dc.x, dc.y, u, true);
    return {c.r, c.g, c.b, s.a};
}

// Lane offsets 0, 1, 2, ... as a lane value.
template <class V>
VELMORA_LANES_INLINE V laneIndices()
{
    V v = {};
    for (std::size_t i = 0; i < lanes::Traits<V>::width; ++i) {
        v[i] = static_cast<float>(i);
    }
    return v;
}

struct BasicGradeLanes {
    const BasicGradeUniforms* u;
    const SpanPosition* where; // null: no position (a constant image's colour)
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t index) const
    {
        V x = lanes::splat<V>(0.0f);
        float y = 0;
        if (where) {
            x = laneIndices<V>() + static_cast<float>(where->x + static_cast<double>(index));
            y = static_cast<float>(where->y);
        }
        const grademath::Rgb<V> c = basicGradeLanes(grademath::Rgb<V>{r, g, b}, x, y, *u, where != nullptr);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

struct VignetteLanes {
    const VignetteGeometry* geometry;
    float strength;
    const SpanPosition* where;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t index) const
    {
        const V x = laneIndices<V>() + static_cast<float>(where->x + static_cast<double>(index));
        const V v = geometry->factor(x, static_cast<float>(where->y), strength);
        r = r * v;
        g = g * v;
        b = b * v;
    }
};

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

#pragma GCC diagnostic pop
