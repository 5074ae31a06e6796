#pragma once

#include <QSlider>

namespace velmora {

// The small continuous slider of the toolbars (the clip gain, for one): a horizontal slider over
// a floating-point range, bound to a value. Every user change is snapped to `step` (halves away
// from zero; no snapping for a step of 0 or less), shown snapped at once and reported through
// `valueEdited`. The bound value is shown only when it differs from the shown one by more than
// 0.0001, so a value that went through a round trip does not move the knob. Light and small
// whatever the panel around it. Main thread only.
class VelmoraToolbarSlider final : public QSlider {
    Q_OBJECT
public:
    explicit VelmoraToolbarSlider(double minimum = 0, double maximum = 1, double step = 1.0, QWidget* parent = nullptr);

    void setValueRange(double minimum, double maximum);
    double minimumValue() const { return minimum_; }
    double maximumValue() const { return maximum_; }
    void setStep(double step);
    double step() const { return step_; }

    // The value the knob shows.
    double shownValue() const { return shown_; }
    // The bound value changed elsewhere.
    void setBoundValue(double value);
    // The user moved the knob to `value` (the slider's action): snap, show, report.
    void applyUserValue(double value);

    // step × the integer nearest value / step, halves away from zero; the value itself for a
    // step of 0 or less.
    static double snapped(double value, double step);

signals:
    void valueEdited(double value);

private:
    void showValue(double value);
    double valueAtPosition(int position) const;
    int positionOfValue(double value) const;

    double minimum_ = 0;
    double maximum_ = 1;
    double step_ = 1.0;
    double shown_ = 0;
    bool applying_ = false;
};

} // namespace velmora
