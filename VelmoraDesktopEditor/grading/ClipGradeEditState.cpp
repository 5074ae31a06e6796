#include "grading/ClipGradeEditState.h"

#include <cmath>
#include <exception>

#include <nlohmann/json.hpp>

#include "grading/ClipGradeCatalog.h"
#include "grading/MoodGrade.h"
#include "model/JsonDecoding.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace {

using GradeParams = EditorJobV2::ClipGrade::GradeParams;

// Basic values at or below this magnitude are at rest and never stored.
constexpr double basicRestThreshold = 0.001;
// Mood amounts at or below this magnitude are not stored.
constexpr double moodRestThreshold = 0.0001;
// A factor this close to zero would blow a stored value up when read back; it is not divided by.
constexpr double smallestScaleFactor = 0.0001;

std::optional<double> scaleFactor(const std::string& key)
{
    const auto& table = ClipGradeCatalog::basicShaderScale();
    const auto it = table.find(key);
    if (it == table.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool isRecognisedMood(const std::string& key)
{
    return Exporter::moodTypeForKey(key) > 0.5;
}

bool isFlagOn(const std::optional<FlexibleBool>& flag)
{
    return flag && flag->value;
}

double storedToSlider(const std::optional<double>& stored, const std::string& key)
{
    const double value = stored.value_or(0.0);
    const auto factor = scaleFactor(key);
    if (!factor || std::fabs(*factor) <= smallestScaleFactor) {
        return value;
    }
    return value / *factor;
}

// Stores one basic slider value, in stored units, when it is off rest.
void putBasic(nlohmann::json& dictionary, double ui, const std::string& key)
{
    if (!(std::fabs(ui) > basicRestThreshold)) {
        return;
    }
    dictionary[key] = ui * scaleFactor(key).value_or(1.0);
}

// The JSON serialiser refuses NaN and the infinities; a dictionary holding one is not valid.
bool holdsOnlyFiniteNumbers(const nlohmann::json& dictionary)
{
    for (const auto& item : dictionary.items()) {
        if (item.value().is_number_float() && !std::isfinite(item.value().get<double>())) {
            return false;
        }
    }
    return true;
}

} // namespace

ClipGradeEditState::ClipGradeEditState(bool moodEnabled_, std::string moodKey_, double moodAmount_,
                                       double moodContrast_, double moodSaturation_, double moodWarmth_,
                                       double moodTealOrange_, double moodShadowLift_,
                                       double moodHighlightRolloff_, double exposure_, double contrast_,
                                       double highlights_, double shadows_, double saturation_,
                                       double vibrance_, double temperature_, double tint_,
                                       std::string lutReference_)
    : moodEnabled(moodEnabled_), moodKey(std::move(moodKey_)), moodAmount(moodAmount_),
      moodContrast(moodContrast_), moodSaturation(moodSaturation_), moodWarmth(moodWarmth_),
      moodTealOrange(moodTealOrange_), moodShadowLift(moodShadowLift_),
      moodHighlightRolloff(moodHighlightRolloff_), exposure(exposure_), contrast(contrast_),
      highlights(highlights_), shadows(shadows_), saturation(saturation_), vibrance(vibrance_),
      temperature(temperature_), tint(tint_), lutReference(std::move(lutReference_))
{
}

ClipGradeEditState ClipGradeEditState::from(const std::optional<EditSession::Clip>& clip)
{
    return clip ? fromGrade(clip->grade) : ClipGradeEditState();
}

ClipGradeEditState ClipGradeEditState::fromGrade(const std::optional<EditorJobV2::ClipGrade>& clipGrade)
{
    ClipGradeEditState state;
    if (!clipGrade) {
        return state;
    }
    const EditorJobV2::ClipGrade& grade = *clipGrade;

    const std::string lutFile = StringText::trimmed(grade.lutFile.value_or(""));
    const std::string lutName = StringText::trimmed(grade.lutName.value_or(""));
    const bool holdsInlineText = grade.lutData && !StringText::trimmedView(grade.lutData->str()).empty();
    if (grade.hasLut == false) {
        // A LUT switched off grades nothing, whatever file or text the grade still holds.
        state.lutReference = std::string(ProjectLUTResolver::noLutSentinel);
    } else if (LutResolving::inlineTextGrades(grade)) {
        // Inline text grades before a file only where the cube reader reads it (the LUT
        // answer's rule): the inspector names the LUT that grades.
        state.lutReference = std::string(ProjectLUTResolver::embeddedLutLabel);
    } else if (!lutFile.empty()) {
        state.lutReference = lutFile;
    } else if (!lutName.empty()) {
        state.lutReference = lutName.find('.') == std::string::npos ? lutName + ".cube" : lutName;
    } else if (holdsInlineText && grade.hasLut == true) {
        state.lutReference = std::string(ProjectLUTResolver::embeddedLutLabel);
    } else {
        state.lutReference = std::string(ProjectLUTResolver::noLutSentinel);
    }

    if (!grade.gradeParams) {
        return state;
    }
    const GradeParams& p = *grade.gradeParams;
    state.moodEnabled = isFlagOn(p.isMoodEnabled) || isFlagOn(p.moodEnabled);
    if (p.moodKey && !p.moodKey->empty() && isRecognisedMood(*p.moodKey)) {
        state.moodKey = *p.moodKey;
    } else {
        state.moodKey = "none";
    }
    state.moodAmount = p.moodIntensity ? *p.moodIntensity : p.moodAmount.value_or(1.0);
    state.moodContrast = p.moodContrast.value_or(0.0);
    state.moodSaturation = p.moodSaturation.value_or(0.0);
    state.moodWarmth = p.moodWarmth.value_or(0.0);
    state.moodTealOrange = p.moodTealOrange.value_or(0.0);
    state.moodShadowLift = p.moodShadowLift.value_or(0.0);
    state.moodHighlightRolloff = p.moodHighlightRolloff.value_or(0.0);

    state.exposure = storedToSlider(p.exposure, "exposure");
    state.contrast = storedToSlider(p.contrast, "contrast");
    state.highlights = storedToSlider(p.highlights, "highlights");
    state.shadows = storedToSlider(p.shadows, "shadows");
    state.saturation = storedToSlider(p.saturation, "saturation");
    state.vibrance = storedToSlider(p.vibrance, "vibrance");
    state.temperature = storedToSlider(p.temperature, "temperature");
    state.tint = storedToSlider(p.tint, "tint");
    return state;
}

std::optional<EditorJobV2::ClipGrade::GradeParams> ClipGradeEditState::makeGradeParams() const
{
    nlohmann::json dictionary = nlohmann::json::object();
    putBasic(dictionary, exposure, "exposure");
    putBasic(dictionary, contrast, "contrast");
    putBasic(dictionary, highlights, "highlights");
    putBasic(dictionary, shadows, "shadows");
    putBasic(dictionary, saturation, "saturation");
    putBasic(dictionary, vibrance, "vibrance");
    putBasic(dictionary, temperature, "temperature");
    putBasic(dictionary, tint, "tint");

    if (moodEnabled && moodKey != "none" && isRecognisedMood(moodKey)) {
        dictionary["moodKey"] = moodKey;
        dictionary["isMoodEnabled"] = 1;
        dictionary["moodAmount"] = moodAmount;
        const auto putSigned = [&](const char* key, double value) {
            if (std::fabs(value) > moodRestThreshold) {
                dictionary[key] = value;
            }
        };
        putSigned("moodContrast", moodContrast);
        putSigned("moodSaturation", moodSaturation);
        putSigned("moodWarmth", moodWarmth);
        putSigned("moodTealOrange", moodTealOrange);
        putSigned("moodShadowLift", moodShadowLift);
        if (moodHighlightRolloff > moodRestThreshold) {
            dictionary["moodHighlightRolloff"] = moodHighlightRolloff;
        }
    }

    if (dictionary.empty() || !holdsOnlyFiniteNumbers(dictionary)) {
        return std::nullopt;
    }
    // Through JSON text and the job decoder, so the result is exactly what a document with these
    // keys reads as (aliases and lenient values included).
    try {
        const std::string text = dictionary.dump();
        const nlohmann::json document = JsonDecoding::parse(text);
        return GradeParams::decode(KeyedContainer::root(document));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool ClipGradeEditState::hasAnyLut() const
{
    const std::string trimmed = StringText::trimmed(lutReference);
    return !trimmed.empty() && trimmed != ProjectLUTResolver::noLutSentinel;
}

bool ClipGradeEditState::hasAnyGrade() const
{
    if (hasAnyLut()) {
        return true;
    }
    if (moodEnabled && moodKey != "none" && isRecognisedMood(moodKey)) {
        return true;
    }
    for (const double value : {exposure, contrast, highlights, shadows, saturation, vibrance, temperature, tint}) {
        if (std::fabs(value) > basicRestThreshold) {
            return true;
        }
    }
    return false;
}

void ClipGradeEditState::reset()
{
    *this = ClipGradeEditState();
}

} // namespace velmora
