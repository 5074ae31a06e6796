#pragma once

#include <QSlider>

namespace velmora {

// The slider of a numeric grade row: a horizontal slider over a floating-point range that
// reports every value of a drag as it happens (`valueEdited`, for the live regrade) and,
// separately, every mouse release on it (`released`, the end of the edit, for the final
// regrade).
//
// Values map onto the slider's integer positions by the step: position p stands for
// minimum + p × step (a step of 0 or less maps the range onto a fixed number of positions and
// snaps nothing). A user change is snapped to step × round(value / step), halves away from
// zero, shown at once and reported. A value pushed in from the model (setBoundValue) moves the
// knob only when it differs from the shown value by more than 0.0001 and never reports back.
// Arrow keys and page keys edit too; their key release ends the edit like a mouse release. The
// wheel is left to the scroll area around the slider. Main thread only.
class ContinuousGradeSlider final : public QSlider {
    Q_OBJECT
public:
    // Difference below which a bound value does not move the knob.
    static constexpr double boundValueTolerance = 0.0001;

    explicit ContinuousGradeSlider(double minimum = 0, double maximum = 1, double step = 0.01,
                                   QWidget* parent = nullptr);

    // The range (a maximum below the minimum counts as the minimum) and the step; the knob
    // keeps the value it shows.
    void setValueRange(double minimum, double maximum, double step);
    double minimumValue() const { return minimum_; }
    double maximumValue() const { return maximum_; }
    double step() const { return step_; }

    // The value the slider stands for now (also a value outside the range pushed in).
    double shownValue() const { return shown_; }
    // The model's value changed.
    void setBoundValue(double value);
    // The slider's action with a raw value: snap, show, report through valueEdited.
    void applyUserValue(double rawValue);

signals:
    // A user change, already snapped and shown.
    void valueEdited(double value);
    // A mouse button (or an editing key) was released on the slider, after the standard
    // handling of the release.
    void released();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void showValue(double value);
    double valueAtPosition(int position) const;
    int positionOfValue(double value) const;
    // Value covered by one integer position.
    double positionSpan() const;

    double minimum_ = 0;
    double maximum_ = 1;
    double step_ = 0.01;
    double shown_ = 0;
    bool showing_ = false;
};

} // namespace velmora
