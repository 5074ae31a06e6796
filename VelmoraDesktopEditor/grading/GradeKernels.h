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
// it is applied over. Parameters arrive as the kernel's numbers converted to float.
//
// Everything a kernel would recompute for every pixel from its parameters alone is done once, in
// the *Plan and *Uniforms constructors: which steps are on, their gains and offsets, weights with
// a slider folded in. The per-pixel code then follows the double-precision formulas of
// GradeMath.h and MoodMath.h (which the fallback cubes compute) step by step, with consecutive
// operations merged where they are equal in real arithmetic, clamps left out where the values
// provably lie inside them already, and a step that changes nothing at its settings not run; the
// results agree with the formulas within float rounding (the grading tests pin them). The Color
// forms below take one pixel; the grading steps run the same templates on 4, 8 or 16 pixels at a
// time (the *Lanes structs, for lanes::forEachLane).
namespace velmora::Exporter {

struct KernelPoint {
    float x = 0;
    float y = 0;
};

// ---- temperature/tint with luminance preservation (applyTempTintColor) on float lanes ----
struct TempTintPlan {
    bool active = false;
    float gainR = 1;
    float gainG = 1;
    float gainB = 1;
    // Rec. 709 luma weights times the gains: the luma after the gains in one dot product.
    float weightR = 0;
    float weightG = 0;
    float weightB = 0;
    // All gains above 0: a colour without negative components keeps none.
    bool keepsNonNegative = false;

    TempTintPlan() = default;
    TempTintPlan(float temp, float tint)
    {
        active = !(std::fabs(temp) < 0.0001f && std::fabs(tint) < 0.0001f);
        const float t = temp * 0.6f;
        const float i = tint * 0.6f;
        gainR = (1 + t) * (1 - 0.5f * i);
        gainG = 1 * (1 + i);
        gainB = (1 - t) * (1 - 0.5f * i);
        weightR = 0.2126f * gainR;
        weightG = 0.7152f * gainG;
        weightB = 0.0722f * gainB;
        keepsNonNegative = gainR > 0 && gainG > 0 && gainB > 0;
    }

    // The gains, the colour scaled back to its luma where that luma is above 1e-6, clamped below
    // at 0. When `nonNegative` (no component of c below 0, none NaN) and the gains keep that, the
    // clamp cannot act and is skipped; `luma` then receives the result's luma (the luma before,
    // where it was preserved). Otherwise `luma` is left alone.
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> apply(const grademath::Rgb<V>& c, bool nonNegative, V& luma,
                                                 bool& lumaKnown) const
    {
        using namespace grademath;
        const V before = L709(c);
        const V after = weightR * c.r + weightG * c.g + weightB * c.b;
        const auto preserve = after > 0.000001f;
        const V ratio = select(preserve, before / after, lanes::splat<V>(1.0f));
        const Rgb<V> out{c.r * gainR * ratio, c.g * gainG * ratio, c.b * gainB * ratio};
        if (nonNegative && keepsNonNegative) {
            luma = select(preserve, before, after);
            lumaKnown = true;
            return out;
        }
        lumaKnown = false;
        return clampBelowZero(out);
    }
};

// ---- applyTempTint (temp, tint) ----
inline Color applyTempTint(const Color& s, float temp, float tint)
{
    const grademath::Rgb<float> c =
        grademath::applyTempTintColor(grademath::Rgb<float>{s.r, s.g, s.b}, temp, tint);
    return {c.r, c.g, c.b, s.a};
}

struct TempTintLanes {
    static constexpr bool keepsAlpha = true;
    TempTintPlan plan;

    TempTintLanes(float temp, float tint) : plan(temp, tint) {}

    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        if (!plan.active) {
            return;
        }
        V luma;
        bool lumaKnown = false;
        const grademath::Rgb<V> c = plan.apply(grademath::Rgb<V>{r, g, b}, false, luma, lumaKnown);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

// ---- applyMood (moodType, moodAmount, six sliders) ----

// The six mood sliders (grademath::applyMoodControlsImpl) with their constants folded. Most looks
// end in [0, 1], and each slider leaves a colour free of negative and NaN components, so only
// the clamps that can still act remain; after the two looks that can leave the range
// (kodak_vision and faded_noir) every clamp stays until a slider has clamped.
struct MoodSliderPlan {
    bool contrast = false;
    bool saturation = false;
    bool warmth = false;
    bool tealOrange = false;
    bool shadowLift = false;
    bool rolloff = false;
    // contrast: c * k + (0.5 - 0.5 k)
    float contrastGain = 1;
    float contrastOffset = 0;
    // saturation: c (1 + s) - s * luma
    float saturationGain = 1;
    float saturationWeightR = 0;
    float saturationWeightG = 0;
    float saturationWeightB = 0;
    TempTintPlan warmthPlan;
    // teal/orange pushes, scaled: amount * 0.6
    float tealAmount = 0;
    // shadow lift: value * 0.12
    float liftAmount = 0;
    // roll-off: knee, the slope 2 + 10 a, and the knee as the threshold (at least 1e-6)
    float knee = 0;
    float kneeSlope = 0;
    float kneeThreshold = 0;

    MoodSliderPlan() = default;
    MoodSliderPlan(float moodContrast, float moodSaturation, float moodWarmth, float moodTealOrange,
                   float moodShadowLift, float moodHighlightRolloff)
    {
        const grademath::MoodSliderSteps steps(moodContrast, moodSaturation, moodWarmth, moodTealOrange,
                                               moodShadowLift, moodHighlightRolloff);
        contrast = steps.contrast;
        saturation = steps.saturation;
        warmth = steps.warmth;
        tealOrange = steps.tealOrange;
        shadowLift = steps.shadowLift;
        rolloff = steps.rolloff;
        contrastGain = 1 + moodContrast * 0.6f;
        contrastOffset = 0.5f - 0.5f * contrastGain;
        saturationGain = 1 + moodSaturation;
        saturationWeightR = moodSaturation * 0.2126f;
        saturationWeightG = moodSaturation * 0.7152f;
        saturationWeightB = moodSaturation * 0.0722f;
        warmthPlan = TempTintPlan(moodWarmth, 0);
        tealAmount = grademath::clampT<float>(moodTealOrange, -1, 1) * 0.25f * 0.6f;
        liftAmount = moodShadowLift * 0.12f;
        const float a = grademath::clampT<float>(moodHighlightRolloff, 0, 1);
        knee = grademath::mix(0.92f, 0.65f, a);
        kneeSlope = 2 + 10 * a;
        kneeThreshold = std::fmax(knee, 0.000001f);
    }

    // What is known of every lane of a colour between the steps: no component below 0 or NaN
    // (nonNegative); also none above 1 (inRange).
    struct Known {
        bool nonNegative = false;
        bool inRange = false;
    };

    // The steps among [from, to) that are on, as bits 0 to 5 in their order (contrast,
    // saturation, warmth, teal/orange, shadow lift, roll-off).
    unsigned stepsBetween(int from, int to) const
    {
        const bool on[6] = {contrast, saturation, warmth && warmthPlan.active, tealOrange, shadowLift, rolloff};
        unsigned steps = 0;
        for (int step = from; step < to; ++step) {
            steps |= on[step] ? 1u << step : 0u;
        }
        return steps;
    }

    // The steps of `steps` (stepsBetween) on a colour of which `known` holds; `known` is updated.
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> applySteps(grademath::Rgb<V> c, Known& known, unsigned steps) const
    {
        using namespace grademath;
        auto runs = [&](int step) { return (steps & (1u << step)) != 0; };
        V luma = lanes::splat<V>(0.0f);
        bool lumaKnown = false;
        if (runs(0)) {
            c = {maxZero(c.r * contrastGain + contrastOffset), maxZero(c.g * contrastGain + contrastOffset),
                 maxZero(c.b * contrastGain + contrastOffset)};
            known = {true, false};
        }
        if (runs(1)) {
            const V sy = saturationWeightR * c.r + saturationWeightG * c.g + saturationWeightB * c.b;
            c = {maxZero(c.r * saturationGain - sy), maxZero(c.g * saturationGain - sy),
                 maxZero(c.b * saturationGain - sy)};
            known = {true, false};
        }
        if (runs(2)) {
            c = warmthPlan.apply(c, known.nonNegative, luma, lumaKnown);
            known = {true, false};
        }
        // The shadow and highlight pushes below vanish (exactly) where their smoothstep is 0 or 1
        // for every lane; the thresholds keep a margin from the edges so that rounding cannot
        // leave a lane just inside. A NaN luma gives a push, so the test needs NaN-free colours.
        if (runs(3)) {
            const V y = lumaKnown ? luma : L709(c);
            // amount * (1 - smoothstep) * 0.6 and amount * smoothstep * 0.6
            if (!known.nonNegative || lanes::anyLess(y, 0.701f)) {
                const V lo = tealAmount - tealAmount * smoothstep(0.2f, 0.7f, y);
                c = {c.r + -0.3f * lo, c.g + 0.1f * lo, c.b + 0.3f * lo};
            }
            if (!known.nonNegative || lanes::anyGreater(y, 0.299f)) {
                const V hi = tealAmount * smoothstep(0.3f, 0.8f, y);
                c = {c.r + 0.3f * hi, c.g + 0.1f * hi, c.b + -0.2f * hi};
            }
            c = clamp01v(c);
            known = {true, true};
        }
        if (runs(4)) {
            const V y = L709(c);
            if (!known.nonNegative || lanes::anyLess(y, 0.551f)) {
                const V lift = liftAmount - liftAmount * smoothstep(0.02f, 0.55f, y);
                c = {c.r + lift, c.g + lift, c.b + lift};
            }
            if (!(known.nonNegative && liftAmount >= 0)) {
                c = clampBelowZero(c);
            }
            known = {true, false};
        }
        if (runs(5)) {
            const V L = L709(c);
            if (lanes::anyGreater(L, kneeThreshold)) {
                // L2 / L with L2 = knee + t / (1 + t * slope), t = L - knee, as one quotient.
                const V t = L - knee;
                const V d = t * kneeSlope + 1.0f;
                const V k = (knee * d + t) / (L * d);
                const auto above = L > kneeThreshold;
                c = {select(above, c.r * k, c.r), select(above, c.g * k, c.g), select(above, c.b * k, c.b)};
            }
            // k > 0 where it applies: from a colour at or above 0 only the upper clamp can act.
            c = known.nonNegative ? Rgb<V>{minOne(c.r), minOne(c.g), minOne(c.b)} : clamp01v(c);
            known = {true, true};
        }
        return c;
    }

    // The clamp to [0, 1] that ends the sliders, as far as it can still act.
    template <class V>
    VELMORA_LANES_INLINE static grademath::Rgb<V> finish(const grademath::Rgb<V>& c, Known known)
    {
        using namespace grademath;
        if (known.inRange) {
            return c;
        }
        return known.nonNegative ? Rgb<V>{minOne(c.r), minOne(c.g), minOne(c.b)} : clamp01v(c);
    }

    // `known` after steps [from, to), without computing any colour.
    Known knownAfter(Known known, int from, int to) const
    {
        applySteps(grademath::Rgb<float>{0, 0, 0}, known, stepsBetween(from, to));
        return known;
    }

    // The six on a look's colour; `lookInRange`: the look leaves every component in [0, 1].
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> apply(const grademath::Rgb<V>& c, bool lookInRange) const
    {
        Known known{lookInRange, lookInRange};
        const grademath::Rgb<V> out = applySteps(c, known, stepsBetween(0, 6));
        return finish(out, known);
    }
};

struct MoodUniforms {
    // The kernel's integer part of the mood type + 0.5, and the amount clamped to [0, 1].
    int mood = 0;
    float amount = 0;
    bool passThrough = true;
    // The look leaves every component in [0, 1] (all but the HSL look and faded_noir).
    bool lookInRange = false;
    MoodSliderPlan sliders;

    MoodUniforms() = default;
    MoodUniforms(double type, double amount_, double contrast, double saturation, double warmth,
                 double tealOrange, double shadowLift, double highlightRolloff)
        : sliders(static_cast<float>(contrast), static_cast<float>(saturation), static_cast<float>(warmth),
                  static_cast<float>(tealOrange), static_cast<float>(shadowLift),
                  static_cast<float>(highlightRolloff))
    {
        const float moodType = static_cast<float>(type);
        const float moodAmount = static_cast<float>(amount_);
        passThrough = !(moodType >= 0.5f) || !(moodAmount >= 0.0005f);
        // Mood numbers beyond any recipe behave alike; the bound keeps the conversion defined.
        const float t = std::fmin(moodType + 0.5f, 1000.0f);
        mood = passThrough ? 0 : static_cast<int>(t);
        lookInRange = grademath::moodLookEndsInRange(mood);
        amount = grademath::clampT<float>(moodAmount, 0.0f, 1.0f);
    }
};

template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> moodColor(const grademath::Rgb<V>& base, const MoodUniforms& u)
{
    const grademath::Rgb<V> m = u.sliders.apply(grademath::applyMoodImpl(base, u.mood), u.lookInRange);
    if (u.amount >= 1.0f) {
        // The mix at amount 1 is the mooded colour, which the sliders left in [0, 1].
        return m;
    }
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

// The mood on lanes runs in passes over a span, each short enough that the processor overlaps
// many pixels' dependency chains (one pass of the whole chain is too long a chain of dependent
// operations for its reorder window): the look, then the sliders in two groups, then, below
// amount 1, the mix with the colour before the mood.
struct MoodLookLanes {
    static constexpr bool keepsAlpha = true;
    static constexpr bool paired = true;
    int mood;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const grademath::Rgb<V> c = grademath::applyMoodImpl(grademath::Rgb<V>{r, g, b}, mood);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

struct MoodSliderLanes {
    static constexpr bool keepsAlpha = true;
    static constexpr bool paired = true;
    MoodSliderPlan plan;
    MoodSliderPlan::Known known; // before the first of `steps`
    unsigned steps;              // MoodSliderPlan::stepsBetween
    bool last;                   // ends with the final clamp
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        MoodSliderPlan::Known k = known;
        grademath::Rgb<V> c = plan.applySteps(grademath::Rgb<V>{r, g, b}, k, steps);
        if (last) {
            c = MoodSliderPlan::finish(c, k);
        }
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

// clamp01(base + (c - base) * amount) with base from the planes given, at the span's indices.
struct MoodMixLanes {
    static constexpr bool keepsAlpha = true;
    const float* baseR;
    const float* baseG;
    const float* baseB;
    float amount;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t index) const
    {
        const grademath::Rgb<V> base{lanes::load<V>(baseR + index), lanes::load<V>(baseG + index),
                                     lanes::load<V>(baseB + index)};
        const grademath::Rgb<V> c = grademath::clamp01v(grademath::mixRgb(base, grademath::Rgb<V>{r, g, b}, amount));
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
    float aspect = 1; // width / max(1, height)
    // 1 / max(1, width) and 1 / max(1, height)
    float inverseSizeX = 1;
    float inverseSizeY = 1;

    VignetteGeometry() = default;
    explicit VignetteGeometry(const Rect& extent)
    {
        if (extent.isEmpty() || extent.isInfinite()) {
            return;
        }
        originX = static_cast<float>(extent.x);
        originY = static_cast<float>(extent.y);
        const float sizeY = std::fmax(static_cast<float>(extent.height), 1.0f);
        aspect = static_cast<float>(extent.width) / sizeY;
        inverseSizeX = 1 / std::fmax(static_cast<float>(extent.width), 1.0f);
        inverseSizeY = 1 / sizeY;
    }

    template <class V>
    VELMORA_LANES_INLINE V factor(const V& x, float y, float strength) const
    {
        V px = (x - originX) * inverseSizeX - 0.5f;
        const float py = (y - originY) * inverseSizeY - 0.5f;
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

// Steps 2 to 10 of the basic grade (basicGradeColor below) with their constants folded; the
// exposure gain goes into the first luma's weights and the first scale factor.
struct BasicGradePlan {
    float exposureGain = 1;
    float lumaWeightR = 0.2126f;
    float lumaWeightG = 0.7152f;
    float lumaWeightB = 0.0722f;
    bool highlights = false;
    float highlightAmount = 0; // clamped to [-1, 1]
    bool shadows = false;
    float shadowAmount = 0; // clamped to [-1, 1]
    bool contrast = false;
    float contrastGain = 1; // L2 = L * gain + offset
    float contrastOffset = 0;
    TempTintPlan tempTint;
    bool saturation = false;
    float saturationGain = 1;
    float saturationAmount = 0;
    bool vibrance = false;
    float vibranceAmount = 0;

    BasicGradePlan() = default;
    BasicGradePlan(float exposureGain_, float contrast_, float highlights_, float shadows_, float saturation_,
                   float vibrance_, float temperature, float tint)
        : exposureGain(exposureGain_), lumaWeightR(0.2126f * exposureGain_), lumaWeightG(0.7152f * exposureGain_),
          lumaWeightB(0.0722f * exposureGain_), highlights(std::fabs(highlights_) > 0.0005f),
          highlightAmount(grademath::clampT<float>(highlights_, -1, 1)), shadows(std::fabs(shadows_) > 0.0005f),
          shadowAmount(grademath::clampT<float>(shadows_, -1, 1)), contrast(std::fabs(contrast_) > 0.0005f),
          contrastGain(1 + contrast_ * 1.5f), contrastOffset(0.5f - 0.5f * contrastGain),
          saturation(std::fabs(saturation_) > 0.001f), saturationGain(1 + saturation_), saturationAmount(saturation_),
          vibrance(std::fabs(vibrance_) > 0.001f), vibranceAmount(vibrance_)
    {
        if (std::fabs(temperature) > 0.0001f || std::fabs(tint) > 0.0001f) {
            tempTint = TempTintPlan(temperature, tint);
        }
    }

    // The formula in three parts, each run over a whole span in turn (see MoodLookLanes):
    // exposure, highlights and shadows (on the colour before exposure); contrast and
    // temperature/tint, which also give the grey that saturation and vibrance mix towards;
    // saturation and vibrance.
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> exposeLuma(const grademath::Rgb<V>& in) const
    {
        using namespace grademath;
        // Highlights and shadows move the luma of the exposed colour; the colour follows by the
        // ratio, exposure included.
        V gain = lanes::splat<V>(exposureGain);
        if (highlights || shadows) {
            const V luma = lumaWeightR * in.r + lumaWeightG * in.g + lumaWeightB * in.b;
            // Each mask is exactly 0 where every lane is clear of its range (with a margin for
            // rounding); with both 0 the ratio is exactly 1 (those lumas are finite and normal).
            // A NaN luma takes the exposure alone either way.
            const bool highlightsAct = highlights && lanes::anyGreater(luma, 0.599f);
            const bool shadowsAct = shadows && lanes::anyLess(luma, 0.451f);
            if (!highlightsAct && !shadowsAct) {
                return clampBelowZero(scaled(in, gain));
            }
            V luma2 = luma;
            if (highlightsAct) {
                const V hMask = smoothstep(0.60f, 1.00f, luma);
                if (highlightAmount > 0) {
                    luma2 = luma2 + hMask * highlightAmount * (1.0f - luma2);
                } else {
                    luma2 = luma2 * (1.0f + highlightAmount * hMask);
                }
            }
            if (shadowsAct) {
                // (1 - smoothstep) * amount
                const V sMask = shadowAmount - shadowAmount * smoothstep(0.00f, 0.45f, luma);
                if (shadowAmount > 0) {
                    luma2 = luma2 + sMask * (0.18f - luma2);
                } else {
                    luma2 = luma2 * (1.0f + sMask);
                }
            }
            gain = select(luma > 0.0005f, exposureGain * (luma2 / luma), gain);
        }
        return clampBelowZero(scaled(in, gain));
    }

    // c without negative or NaN components (the output of exposeLuma).
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> contrastAndTemperature(grademath::Rgb<V> c, V& gray) const
    {
        using namespace grademath;
        if (contrast) {
            const V L = L709(c);
            const V L2 = L * contrastGain + contrastOffset;
            c = clampBelowZero(scaled(c, select(L > 0.0005f, L2 / L, lanes::splat<V>(1.0f))));
        }
        bool grayKnown = false;
        if (tempTint.active) {
            c = tempTint.apply(c, true, gray, grayKnown);
        }
        if (!grayKnown) {
            gray = L709(c);
        }
        return c;
    }

    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> saturate(grademath::Rgb<V> c, const V& gray) const
    {
        using namespace grademath;
        if (saturation) {
            // gray + (c - gray)(1 + s)
            const V sg = saturationAmount * gray;
            c = {c.r * saturationGain - sg, c.g * saturationGain - sg, c.b * saturationGain - sg};
        }
        if (vibrance) {
            const V mx = vmax(c.r, vmax(c.g, c.b));
            const V mn = vmin(c.r, vmin(c.g, c.b));
            const V sat = select(mx > 0.0f, (mx - mn) / mx, lanes::splat<V>(0.0f));
            const V boost = vibranceAmount - vibranceAmount * sat;
            c = mixToward(gray, c, 1.0f + boost);
        }
        return c;
    }

    // The three parts on one colour (before exposure).
    template <class V>
    VELMORA_LANES_INLINE grademath::Rgb<V> apply(const grademath::Rgb<V>& in) const
    {
        V gray;
        const grademath::Rgb<V> c = contrastAndTemperature(exposeLuma(in), gray);
        return saturate(c, gray);
    }
};

struct BasicGradeUniforms {
    float vignette = 0;
    float debanding = 0;
    // Derived once per application.
    float ditherAmplitude = 0;
    VignetteGeometry geometry;
    BasicGradePlan plan; // the colour part, with the exposure gain 2^exposure

    BasicGradeUniforms() = default;
    BasicGradeUniforms(double exposure, double contrast, double highlights, double shadows,
                       double saturation, double vibrance, double temperature, double tint,
                       double vignette_, double debanding_, const Rect& extent)
        : vignette(static_cast<float>(vignette_)), debanding(static_cast<float>(debanding_)),
          ditherAmplitude((1.0f / 255.0f) * grademath::clampT<float>(debanding, 0.0f, 1.0f)), geometry(extent),
          plan(std::exp2(static_cast<float>(exposure)), static_cast<float>(contrast), static_cast<float>(highlights),
               static_cast<float>(shadows), static_cast<float>(saturation), static_cast<float>(vibrance),
               static_cast<float>(temperature), static_cast<float>(tint))
    {
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
    return p / (S(1) + over * S(0.85));
}

// softCeiling on a colour; the division only where some lane is above 1 (elsewhere it divides
// by exactly 1).
template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> softCeilingRgb(const grademath::Rgb<V>& c)
{
    using namespace grademath;
    const Rgb<V> p = clampBelowZero(c);
    if (!lanes::anyGreater(vmax(p.r, vmax(p.g, p.b)), 1.0f)) {
        return p;
    }
    return {softCeiling(p.r), softCeiling(p.g), softCeiling(p.b)};
}

// Vignette, dither and the soft ceiling after the colour part: `x` holds each lane's destination
// x, `y` the row's.
template <class V>
VELMORA_LANES_INLINE grademath::Rgb<V> basicGradeFinish(grademath::Rgb<V> c, const V& x, float y,
                                                        const BasicGradeUniforms& u, bool hasPosition)
{
    if (hasPosition && u.vignette > 0.0005f) {
        c = grademath::scaled(c, u.geometry.factor(x, y, u.vignette));
    }
    if (hasPosition && u.debanding > 0.0005f) {
        const V v = lanes::vsin(x * 12.9898f + y * 78.233f) * 43758.5453f;
        const V n = v - lanes::vfloor(v);
        const V d = (n - 0.5f) * u.ditherAmplitude;
        c = {c.r + d, c.g + d, c.b + d};
    }
    return softCeilingRgb(c);
}

// `dc` is ignored unless the vignette or the dither is on.
inline Color applyBasicGrade(const Color& s, KernelPoint dc, const BasicGradeUniforms& u)
{
    const grademath::Rgb<float> c =
        basicGradeFinish(u.plan.apply(grademath::Rgb<float>{s.r, s.g, s.b}), dc.x, dc.y, u, true);
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

// The basic grade on lanes, in three passes over a span (BasicGradePlan); the grey that the
// second hands to the third goes through a plane of its own.
struct BasicGradeExposureLanes {
    static constexpr bool keepsAlpha = true;
    static constexpr bool paired = true;
    BasicGradePlan plan;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const grademath::Rgb<V> c = plan.exposeLuma(grademath::Rgb<V>{r, g, b});
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

struct BasicGradeContrastLanes {
    static constexpr bool keepsAlpha = true;
    BasicGradePlan plan;
    float* gray; // out, at the span's indices
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t index) const
    {
        V y;
        const grademath::Rgb<V> c = plan.contrastAndTemperature(grademath::Rgb<V>{r, g, b}, y);
        lanes::store(gray + index, y);
        r = c.r;
        g = c.g;
        b = c.b;
    }
};

// Saturation and vibrance, then vignette, dither and the soft ceiling.
struct BasicGradeFinishLanes {
    static constexpr bool keepsAlpha = true;
    BasicGradeUniforms u;
    const float* gray;
    const SpanPosition* where; // null: no position (a constant image's colour)
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t index) const
    {
        V x = lanes::splat<V>(0.0f);
        float y = 0;
        if (where && u.usesPosition()) {
            x = laneIndices<V>() + static_cast<float>(where->x + static_cast<double>(index));
            y = static_cast<float>(where->y);
        }
        const grademath::Rgb<V> c = u.plan.saturate(grademath::Rgb<V>{r, g, b}, lanes::load<V>(gray + index));
        const grademath::Rgb<V> out = basicGradeFinish(c, x, y, u, where != nullptr);
        r = out.r;
        g = out.g;
        b = out.b;
    }
};

struct VignetteLanes {
    static constexpr bool keepsAlpha = true;
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
