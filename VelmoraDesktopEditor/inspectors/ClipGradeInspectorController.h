#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>

#include "grading/ClipGradeCatalog.h"
#include "grading/ClipGradeEditState.h"

namespace velmora {

// A value held elsewhere, read and written through two functions (the owner's storage).
template <typename T>
struct ValueBinding {
    std::function<T()> get;
    std::function<void(const T&)> set;
};

// The clip grade inspector without its widgets: every edit of the "Mood & Basic Grade" sheet
// and the callbacks it makes. The sheet owns no grade: it reads and writes the owner's
// ClipGradeEditState through a binding, and after each edit tells the owner through
// onLiveChange (the grade changed: regrade live) and onLiveEnd (the edit is complete: finish
// it). It never calls the engine.
//
// | action                      | writes                                   | then calls            |
// | a slider value              | that field                               | onLiveChange          |
// | a slider released           | nothing                                  | onLiveEnd             |
// | another LUT picked          | lutReference                             | onLiveChange, onLiveEnd |
// | another mood picked         | moodKey, then moodEnabled (key ≠ "none") | onLiveChange, onLiveEnd |
// | the mood switch flipped     | moodEnabled                              | onLiveChange, onLiveEnd |
// | "Reset"                     | ClipGradeEditState::reset()              | onLiveChange, onLiveEnd |
// | "Done"                      | nothing                                  | onDismiss             |
//
// Values are written as given: no clamping or rounding (the slider snaps to its step). Picking
// the LUT or mood that is already chosen does nothing. Main thread only.
class ClipGradeInspectorController final : public QObject {
    Q_OBJECT
public:
    using EditStateBinding = ValueBinding<ClipGradeEditState>;
    using DoubleBinding = ValueBinding<double>;

    ClipGradeInspectorController(std::string clipName, std::vector<std::string> lutNames,
                                 EditStateBinding editState, std::function<void()> onLiveChange,
                                 std::function<void()> onLiveEnd, std::function<void()> onDismiss,
                                 QObject* parent = nullptr);

    const std::string& clipName() const { return clipName_; }
    const std::vector<std::string>& lutNames() const { return lutNames_; }
    ClipGradeEditState editState() const { return editState_.get(); }

    // A numeric row's value moved (each value of a drag): through the row's binding, then
    // onLiveChange. Mood rows use moodBinding, basic rows basicBinding; an id neither lists is
    // written nowhere (the callback still runs, as the slider reports).
    void moveSlider(const std::string& sliderId, double value);
    void releaseSlider();
    void pickLut(const std::string& name);
    void pickMood(const std::string& key);
    void setMoodSwitch(bool enabled);
    void reset();
    void done();

    // The seven mood values ("moodAmount" … "moodHighlightRolloff"), each onto the edit-state
    // field of the same name: get gives 0 and set does nothing for any other id.
    DoubleBinding moodBinding(const std::string& sliderId);
    // The eight basic values ("exposure" … "tint"), likewise.
    DoubleBinding basicBinding(const std::string& sliderId);

    // A row's readout: "%+.2f" for a signed row, "%.2f" otherwise, in the C locale.
    static std::string readout(const ClipGradeCatalog::SliderSpec& definition, double value);
    // The edit-state field a mood or basic slider id names; none for any other id.
    static double* moodField(ClipGradeEditState& state, const std::string& sliderId);
    static double* basicField(ClipGradeEditState& state, const std::string& sliderId);

signals:
    // The edit state was written through the binding (the sheet shows it again).
    void editStateWritten();

private:
    DoubleBinding fieldBinding(double* (*field)(ClipGradeEditState&, const std::string&),
                               const std::string& sliderId);
    void write(const ClipGradeEditState& state);
    void changeAndEnd();

    std::string clipName_;
    std::vector<std::string> lutNames_;
    EditStateBinding editState_;
    std::function<void()> onLiveChange_;
    std::function<void()> onLiveEnd_;
    std::function<void()> onDismiss_;
};

} // namespace velmora
