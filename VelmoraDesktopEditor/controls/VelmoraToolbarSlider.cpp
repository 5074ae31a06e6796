#include "controls/VelmoraToolbarSlider.h"

#include <algorithm>
#include <cmath>

#include <QScopedValueRollback>

namespace velmora {
namespace {

// Positions of the underlying integer slider across the range: fine enough for any step the
// toolbars use (0.02 over a range of 200).
constexpr int resolution = 10000;

} // namespace

VelmoraToolbarSlider::VelmoraToolbarSlider(double minimum, double maximum, double step, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), step_(step)
{
    QSlider::setRange(0, resolution);
    setTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setValueRange(minimum, maximum);
    showValue(minimum);
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        if (!applying_)
            applyUserValue(valueAtPosition(sliderPosition()));
    });
}

void VelmoraToolbarSlider::setValueRange(double minimum, double maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    const double span = maximum_ - minimum_;
    // Arrow keys move by one step (at least one position), Page keys by ten.
    const double stepFraction = span > 0 && step_ > 0 ? std::min(step_ / span, 1.0) : 0.0;
    const int stepPositions = std::max(1, static_cast<int>(std::lround(stepFraction * resolution)));
    setSingleStep(stepPositions);
    setPageStep(stepPositions * 10);
    showValue(shown_);
}

void VelmoraToolbarSlider::setStep(double step)
{
    step_ = step;
    setValueRange(minimum_, maximum_);
}

void VelmoraToolbarSlider::setBoundValue(double value)
{
    if (std::abs(value - shown_) > 0.0001)
        showValue(value);
}

void VelmoraToolbarSlider::applyUserValue(double value)
{
    if (step_ > 0)
        value = snapped(value, step_);
    showValue(value);
    emit valueEdited(value);
}

double VelmoraToolbarSlider::snapped(double value, double step)
{
    if (!(step > 0))
        return value;
    // std::round rounds halves away from zero.
    return step * std::round(value / step);
}

void VelmoraToolbarSlider::showValue(double value)
{
    shown_ = value;
    const QScopedValueRollback guard(applying_, true);
    setSliderPosition(positionOfValue(value));
}

double VelmoraToolbarSlider::valueAtPosition(int position) const
{
    return minimum_ + (maximum_ - minimum_) * position / resolution;
}

int VelmoraToolbarSlider::positionOfValue(double value) const
{
    const double span = maximum_ - minimum_;
    if (!(span > 0) || !std::isfinite(value))
        return 0;
    const double fraction = std::clamp((value - minimum_) / span, 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * resolution));
}

} // namespace velmora
