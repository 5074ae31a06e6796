#include "grading/MoodGrade.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "grading/GammaCompensation.h"
#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "grading/LutApplication.h"
#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/foundation/FiniteNumbers.h"
#include "platform/foundation/StringText.h"
#include "platform/image/ColorOps.h"
#include "platform/image/LaneLoop.h"

// Lane kernels here are inlined into the AVX2 and baseline loops of LaneLoop.h (see Lanes.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora::Exporter {

namespace {

struct MoodKey {
    std::string_view key;
    int number;
};

constexpr MoodKey moodKeys[] = {
    {"fuji_eterna", 1},        {"modern_blockbuster", 2}, {"golden_hour", 3},
    {"kodak_vision_2", 4},     {"muted_fuji", 5},         {"sony_venice", 6},
    {"canon_clog", 7},         {"film_print", 8},         {"panasonic_vlog", 9},
    {"vintage_summer", 10},    {"nostalgic_chrome", 11},  {"arri_alexa", 12},
    {"kodak_portra", 13},      {"kodak_portra_800", 14},  {"fuji_velvia", 15},
    {"warm_velmora", 16},      {"bleach_bypass", 17},     {"desaturated_sienna", 18},
    {"classic_hollywood", 19}, {"midnight_teal", 20},     {"lomo_pop", 21},
    {"hdr_punch", 22},         {"dreamy_pastel", 23},     {"red_komodo", 24},
    {"red_monstro", 25},       {"red_dragon", 26},        {"arri_alexa_logc", 27},
    {"sony_fx9", 28},          {"canon_clog3", 29},       {"blackmagic_gen5", 30},
    {"kodak_ektar", 31},       {"fuji_provia", 32},       {"fuji_superia", 33},
    {"arri_alexa_mini", 34},   {"panavision_dxl2", 35},   {"kodak_5219", 36},
    {"kodak_5207", 37},        {"kodak_5203", 38},        {"fuji_reala", 39},
    {"fuji_astia", 40},        {"agfa_vista", 41},        {"cinestill_800t", 42},
    {"cinestill_50d", 43},     {"teal_orange", 50},       {"kodak_vision", 51},
    {"faded_noir", 52},
};

double clampD(double v, double lo, double hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// The mood in passes over the span (see MoodLookLanes).
struct MoodStep {
    MoodUniforms u;
    MoodSliderPlan::Known lookKnown;
    MoodSliderPlan::Known afterFirstSliders;
    unsigned firstSteps;
    unsigned secondSteps;

    explicit MoodStep(const MoodUniforms& uniforms)
        : u(uniforms), lookKnown{u.lookInRange, u.lookInRange},
          afterFirstSliders(u.sliders.knownAfter(lookKnown, 0, firstSliderGroup)),
          firstSteps(u.sliders.stepsBetween(0, firstSliderGroup)), secondSteps(u.sliders.stepsBetween(firstSliderGroup, 6))
    {
    }

    void applyPlanar(const PlanarSpan& span) const
    {
        if (u.passThrough) {
            return;
        }
        alignas(64) float base[3][maxSpanPixels];
        const bool mixes = u.amount < 1.0f;
        if (mixes) {
            std::memcpy(base[0], span.r, span.paddedCount * sizeof(float));
            std::memcpy(base[1], span.g, span.paddedCount * sizeof(float));
            std::memcpy(base[2], span.b, span.paddedCount * sizeof(float));
        }
        lanes::forEachLane(MoodLookLanes{u.mood}, span);
        // A pass without steps would only load and store the span (the second also clamps,
        // unless the colour is known to be in range already).
        if (firstSteps != 0) {
            lanes::forEachLane(MoodSliderLanes{u.sliders, lookKnown, firstSteps, false}, span);
        }
        if (secondSteps != 0 || !afterFirstSliders.inRange) {
            lanes::forEachLane(MoodSliderLanes{u.sliders, afterFirstSliders, secondSteps, true}, span);
        }
        if (mixes) {
            lanes::forEachLane(MoodMixLanes{base[0], base[1], base[2], u.amount}, span);
        }
    }

    // Contrast, saturation, warmth and teal/orange in the first pass (warmth hands teal/orange
    // its luma), shadow lift and roll-off in the second.
    static constexpr int firstSliderGroup = 4;
};

// Recipes exist up to 52; every larger number behaves like an unassigned one.
int recipeNumber(double rounded)
{
    return rounded > 1000 ? 1000 : static_cast<int>(rounded);
}

std::string wholeNumberText(double rounded)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 0);
    return std::string(buffer, result.ptr);
}

} // namespace

double moodTypeForKey(const std::optional<std::string>& key)
{
    if (!key) {
        return 0;
    }
    const std::string k = StringText::lowercased(StringText::trimmed(*key));
    if (k.empty()) {
        return 0;
    }
    for (const MoodKey& entry : moodKeys) {
        if (entry.key == k) {
            return entry.number;
        }
    }
    return 0;
}

Image applyMoodImage(const Image& image,
                     const std::optional<EditorJobV2::ClipGrade::GradeParams>& params)
{
    if (!params) {
        return image;
    }
    const std::string key = StringText::trimmed(params->moodKey.value_or(""));
    const bool on = (params->isMoodEnabled && params->isMoodEnabled->value) ||
                    (params->moodEnabled && params->moodEnabled->value);
    if (!on || key.empty()) {
        return image;
    }
    const double t = moodTypeForKey(key);
    if (t < 0.5) {
        return image;
    }
    double amount = 1.0;
    if (params->moodIntensity && std::isfinite(*params->moodIntensity)) {
        amount = *params->moodIntensity;
    } else if (params->moodAmount && std::isfinite(*params->moodAmount)) {
        amount = *params->moodAmount;
    }
    amount = clampD(amount, 0, 1);
    if (amount < 0.0005) {
        return image;
    }
    const double contrast = clampD(finiteOr(params->moodContrast, 0), -1, 1);
    const double saturation = clampD(finiteOr(params->moodSaturation, 0), -1, 1);
    const double warmth = clampD(finiteOr(params->moodWarmth, 0), -1, 1);
    const double tealOrange = clampD(finiteOr(params->moodTealOrange, 0), -1, 1);
    const double shadowLift = clampD(finiteOr(params->moodShadowLift, 0), -1, 1);
    const double rolloff = clampD(finiteOr(params->moodHighlightRolloff, 0), 0, 1);
    if (moodKernel()) {
        return image.appending(PixelOp::makePlanar(MoodStep(MoodUniforms(
            t, amount, contrast, saturation, warmth, tealOrange, shadowLift, rolloff))));
    }
    return applyMoodFallbackCube(image, t, amount, contrast, saturation, warmth, tealOrange,
                                 shadowLift, rolloff);
}

std::string moodCubeKey(double mood, double amount, double moodContrast, double moodSaturation,
                        double moodWarmth, double moodTealOrange, double moodShadowLift,
                        double moodHighlightRolloff)
{
    return "m=" + wholeNumberText(mood) + "|a=" + formatSixDecimals(amount) +
           "|c=" + formatSixDecimals(moodContrast) + "|s=" + formatSixDecimals(moodSaturation) +
           "|w=" + formatSixDecimals(moodWarmth) + "|to=" + formatSixDecimals(moodTealOrange) +
           "|sl=" + formatSixDecimals(moodShadowLift) +
           "|hr=" + formatSixDecimals(moodHighlightRolloff);
}

Image applyMoodFallbackCube(const Image& image, double moodType, double amount,
                            double moodContrast, double moodSaturation, double moodWarmth,
                            double moodTealOrange, double moodShadowLift,
                            double moodHighlightRolloff)
{
    if (!std::isfinite(moodType)) {
        return image;
    }
    const double m = std::round(moodType);
    const double a = std::isnan(amount) ? 0.0 : clampD(amount, 0, 1);
    if (m <= 0 || a < 0.0005) {
        return image;
    }
    const std::string key = moodCubeKey(m, a, moodContrast, moodSaturation, moodWarmth,
                                        moodTealOrange, moodShadowLift, moodHighlightRolloff);
    CachedCubeRef entry = moodCubeCache().lookup(key).value_or(nullptr);
    if (!entry) {
        auto built = std::make_shared<CachedCube>();
        built->cube = buildMoodCube(33, recipeNumber(m), a, moodContrast, moodSaturation,
                                    moodWarmth, moodTealOrange, moodShadowLift,
                                    moodHighlightRolloff);
        built->filter = makeCubeFilter(built->cube);
        entry = built;
        moodCubeCache().store(key, entry);
    }
    return entry->filter.outputImage(image).value_or(image);
}

CubeLUT buildMoodCube(int size, int mood, double moodAmount, double moodContrast,
                      double moodSaturation, double moodWarmth, double moodTealOrange,
                      double moodShadowLift, double moodHighlightRolloff)
{
    using grademath::Rgb;
    const int n = std::clamp(size, 2, 65);
    const double a = std::isnan(moodAmount) ? 0.0 : clampD(moodAmount, 0, 1);
    const std::size_t nn = static_cast<std::size_t>(n);
    std::vector<float> values(nn * nn * nn * 4);
    // Blue slices are independent; building them in parallel keeps a cache miss short.
    concurrentPerform(nn, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            for (std::size_t j = 0; j < nn; ++j) {
                for (std::size_t i = 0; i < nn; ++i) {
                    const double d = static_cast<double>(n - 1);
                    const Rgb<double> base{static_cast<double>(i) / d, static_cast<double>(j) / d,
                                           static_cast<double>(k) / d};
                    Rgb<double> entry = base;
                    if (mood > 0) {
                        const Rgb<double> look = grademath::applyMoodControlsImpl(
                            grademath::applyMoodImpl(base, mood), moodContrast, moodSaturation,
                            moodWarmth, moodTealOrange, moodShadowLift, moodHighlightRolloff);
                        entry = grademath::clamp01v(Rgb<double>{base.r * (1 - a) + look.r * a,
                                                                base.g * (1 - a) + look.g * a,
                                                                base.b * (1 - a) + look.b * a});
                    }
                    float* out = values.data() + ((k * nn + j) * nn + i) * 4;
                    out[0] = static_cast<float>(entry.r);
                    out[1] = static_cast<float>(entry.g);
                    out[2] = static_cast<float>(entry.b);
                    out[3] = 1.0f;
                }
            }
        }
    });
    return CubeLUT::fromFloats(n, values);
}

Image applyMoodFallbackImage(const Image& image, double moodType, double amount)
{
    const double a = std::isnan(amount) ? 0.0 : clampD(amount, 0, 1);
    if (a < 0.0005 || !std::isfinite(moodType)) {
        return image;
    }
    const double m = std::round(moodType);
    Image result;
    if (m == 9) {
        result = applyTempTintImage(applyLookAdjust(image, 1.08, 1.12, 0), 0.015 * a, 0.015 * a);
    } else if (m == 12) {
        result = applyTempTintImage(applyLookAdjust(image, 1.04, 1.08, 0.015), 0.02 * a, 0.02 * a);
    } else if (m == 50) {
        result = applyTempTintImage(applyLookAdjust(image, 1.1, 1.1, 0), -0.05 * a, -0.08 * a);
    } else {
        result = applyLookAdjust(image, 1 + 0.05 * a, 1 + 0.08 * a, 0);
    }
    if (a >= 0.999) {
        return result;
    }
    return dissolve(image, result, a);
}

} // namespace velmora::Exporter
