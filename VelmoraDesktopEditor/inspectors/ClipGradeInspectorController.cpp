#include "inspectors/ClipGradeInspectorController.h"

#include <algorithm>

#include <QPointer>

namespace velmora {
namespace {

bool isMoodSlider(const std::string& sliderId)
{
    const auto& sliders = ClipGradeCatalog::moodSliders();
    return std::any_of(sliders.begin(), sliders.end(),
                       [&](const ClipGradeCatalog::SliderSpec& definition) { return definition.id == sliderId; });
}

void call(const std::function<void()>& callback)
{
    if (callback)
        callback();
}

} // namespace

ClipGradeInspectorController::ClipGradeInspectorController(std::string clipName, std::vector<std::string> lutNames,
                                                           EditStateBinding editState,
                                                           std::function<void()> onLiveChange,
                                                           std::function<void()> onLiveEnd,
                                                           std::function<void()> onDismiss, QObject* parent)
    : QObject(parent), clipName_(std::move(clipName)), lutNames_(std::move(lutNames)),
      editState_(std::move(editState)), onLiveChange_(std::move(onLiveChange)), onLiveEnd_(std::move(onLiveEnd)),
      onDismiss_(std::move(onDismiss))
{
}

double* ClipGradeInspectorController::moodField(ClipGradeEditState& state, const std::string& sliderId)
{
    if (sliderId == "moodAmount")
        return &state.moodAmount;
    if (sliderId == "moodContrast")
        return &state.moodContrast;
    if (sliderId == "moodSaturation")
        return &state.moodSaturation;
    if (sliderId == "moodWarmth")
        return &state.moodWarmth;
    if (sliderId == "moodTealOrange")
        return &state.moodTealOrange;
    if (sliderId == "moodShadowLift")
        return &state.moodShadowLift;
    if (sliderId == "moodHighlightRolloff")
        return &state.moodHighlightRolloff;
    return nullptr;
}

double* ClipGradeInspectorController::basicField(ClipGradeEditState& state, const std::string& sliderId)
{
    if (sliderId == "exposure")
        return &state.exposure;
    if (sliderId == "contrast")
        return &state.contrast;
    if (sliderId == "highlights")
        return &state.highlights;
    if (sliderId == "shadows")
        return &state.shadows;
    if (sliderId == "saturation")
        return &state.saturation;
    if (sliderId == "vibrance")
        return &state.vibrance;
    if (sliderId == "temperature")
        return &state.temperature;
    if (sliderId == "tint")
        return &state.tint;
    return nullptr;
}

ClipGradeInspectorController::DoubleBinding
ClipGradeInspectorController::fieldBinding(double* (*field)(ClipGradeEditState&, const std::string&),
                                           const std::string& sliderId)
{
    const QPointer<ClipGradeInspectorController> self(this);
    return DoubleBinding{
        [self, field, sliderId]() -> double {
            if (!self)
                return 0;
            ClipGradeEditState state = self->editState();
            const double* value = field(state, sliderId);
            return value ? *value : 0;
        },
        [self, field, sliderId](const double& newValue) {
            if (!self)
                return;
            ClipGradeEditState state = self->editState();
            double* value = field(state, sliderId);
            if (!value)
                return;
            *value = newValue;
            self->write(state);
        },
    };
}

ClipGradeInspectorController::DoubleBinding ClipGradeInspectorController::moodBinding(const std::string& sliderId)
{
    return fieldBinding(&ClipGradeInspectorController::moodField, sliderId);
}

ClipGradeInspectorController::DoubleBinding ClipGradeInspectorController::basicBinding(const std::string& sliderId)
{
    return fieldBinding(&ClipGradeInspectorController::basicField, sliderId);
}

std::string ClipGradeInspectorController::readout(const ClipGradeCatalog::SliderSpec& definition, double value)
{
    return definition.formatValue(value);
}

void ClipGradeInspectorController::write(const ClipGradeEditState& state)
{
    if (editState_.set)
        editState_.set(state);
    emit editStateWritten();
}

void ClipGradeInspectorController::changeAndEnd()
{
    call(onLiveChange_);
    call(onLiveEnd_);
}

void ClipGradeInspectorController::moveSlider(const std::string& sliderId, double value)
{
    const DoubleBinding binding = isMoodSlider(sliderId) ? moodBinding(sliderId) : basicBinding(sliderId);
    binding.set(value);
    call(onLiveChange_);
}

void ClipGradeInspectorController::releaseSlider()
{
    call(onLiveEnd_);
}

void ClipGradeInspectorController::pickLut(const std::string& name)
{
    ClipGradeEditState state = editState();
    if (state.lutReference == name)
        return;
    state.lutReference = name;
    write(state);
    changeAndEnd();
}

void ClipGradeInspectorController::pickMood(const std::string& key)
{
    ClipGradeEditState state = editState();
    if (state.moodKey == key)
        return;
    // Two successive writes, as a pick sets the key and then the switch.
    state.moodKey = key;
    write(state);
    state = editState();
    state.moodEnabled = key != "none";
    write(state);
    changeAndEnd();
}

void ClipGradeInspectorController::setMoodSwitch(bool enabled)
{
    ClipGradeEditState state = editState();
    state.moodEnabled = enabled;
    write(state);
    changeAndEnd();
}

void ClipGradeInspectorController::reset()
{
    ClipGradeEditState state = editState();
    state.reset();
    write(state);
    changeAndEnd();
}

void ClipGradeInspectorController::done()
{
    call(onDismiss_);
}

} // namespace velmora
