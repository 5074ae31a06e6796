#include "inspectors/ContinuousGradeSlider.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QWheelEvent>

#include "controls/VelmoraToolbarSlider.h"

namespace velmora {
namespace {

// Positions used across the range when there is no step to map by.
constexpr int kUnsteppedPositions = 10000;
// Most positions a range may take: more would only cost precision nobody can drag to.
constexpr double kMaximumPositions = 1'000'000;

bool isEditingKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

} // namespace

ContinuousGradeSlider::ContinuousGradeSlider(double minimum, double maximum, double step, QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setTracking(true);
    setValueRange(minimum, maximum, step);
    showValue(minimum_);
    // Every knob movement of a drag, click or key is an action; the model push is not.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        if (!showing_)
            applyUserValue(valueAtPosition(sliderPosition()));
    });
}

void ContinuousGradeSlider::setValueRange(double minimum, double maximum, double step)
{
    minimum_ = std::isfinite(minimum) ? minimum : 0.0;
    maximum_ = std::isfinite(maximum) ? std::max(minimum_, maximum) : minimum_;
    step_ = std::isfinite(step) ? step : 0.0;
    const double span = maximum_ - minimum_;
    const int positions = static_cast<int>(std::lround(std::min(span / positionSpan(), kMaximumPositions)));
    const QScopedValueRollback guard(showing_, true);
    QSlider::setRange(0, std::max(positions, 0));
    setSingleStep(1);
    setPageStep(std::max(1, positions / 10));
    showValue(shown_);
}

void ContinuousGradeSlider::setBoundValue(double value)
{
    if (!(std::abs(value - shown_) <= boundValueTolerance))
        showValue(value);
}

void ContinuousGradeSlider::applyUserValue(double rawValue)
{
    const double value = VelmoraToolbarSlider::snapped(rawValue, step_);
    showValue(value);
    emit valueEdited(value);
}

void ContinuousGradeSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    emit released();
}

void ContinuousGradeSlider::keyReleaseEvent(QKeyEvent* event)
{
    QSlider::keyReleaseEvent(event);
    if (isEditingKey(event->key()) && !event->isAutoRepeat())
        emit released();
}

void ContinuousGradeSlider::wheelEvent(QWheelEvent* event)
{
    // A wheel turned over the slider scrolls the inspector; it never grades.
    event->ignore();
}

void ContinuousGradeSlider::showValue(double value)
{
    shown_ = value;
    const QScopedValueRollback guard(showing_, true);
    setSliderPosition(positionOfValue(value));
}

double ContinuousGradeSlider::positionSpan() const
{
    const double span = maximum_ - minimum_;
    if (step_ > 0 && span / step_ <= kMaximumPositions)
        return step_;
    return span > 0 ? span / kUnsteppedPositions : 1.0;
}

double ContinuousGradeSlider::valueAtPosition(int position) const
{
    return std::min(minimum_ + position * positionSpan(), maximum_);
}

int ContinuousGradeSlider::positionOfValue(double value) const
{
    if (!std::isfinite(value))
        return 0;
    const double position = std::round((std::clamp(value, minimum_, maximum_) - minimum_) / positionSpan());
    return static_cast<int>(std::clamp(position, 0.0, static_cast<double>(maximum())));
}

} // namespace velmora
