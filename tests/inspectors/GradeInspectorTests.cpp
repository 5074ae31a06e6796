// The live grade slider, the clip grade inspector's callbacks for every control, and the grade
// inspector window with the real engine: live regrades, one undo step, the window's size.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "InspectorTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "inspectors/ClipGradeInspectorSheet.h"
#include "inspectors/ContinuousGradeSlider.h"
#include "inspectors/GradeInspectorWindowController.h"
#include "inspectors/GradeInspectorWindowRoot.h"

namespace velmora::test {
namespace {

TEST(ContinuousGradeSlider, SnapsUserValuesAndIgnoresTinyModelChanges)
{
    ContinuousGradeSlider slider(-1, 1, 0.5);
    QSignalSpy edited(&slider, &ContinuousGradeSlider::valueEdited);
    slider.applyUserValue(0.75);
    slider.applyUserValue(-0.25);
    ASSERT_EQ(edited.count(), 2);
    EXPECT_EQ(edited[0][0].toDouble(), 1.0);
    EXPECT_EQ(edited[1][0].toDouble(), -0.5); // halves go away from zero
    EXPECT_EQ(slider.shownValue(), -0.5);
    EXPECT_EQ(slider.sliderPosition(), 1); // positions by step: -1, -0.5, 0, 0.5, 1

    ContinuousGradeSlider fine(-1, 1, 0.01);
    EXPECT_EQ(fine.maximum(), 200);
    QSignalSpy fineEdited(&fine, &ContinuousGradeSlider::valueEdited);
    fine.setSliderPosition(150); // a drag to position 150
    ASSERT_EQ(fineEdited.count(), 1);
    EXPECT_NEAR(fineEdited[0][0].toDouble(), 0.5, 1e-12);

    // The model's value moves the knob only beyond 0.0001 and never reports back.
    fine.setBoundValue(0.50005);
    EXPECT_NEAR(fine.shownValue(), 0.5, 1e-12);
    fine.setBoundValue(0.501);
    EXPECT_EQ(fine.shownValue(), 0.501);
    EXPECT_EQ(fineEdited.count(), 1);

    // No step: values pass unchanged. A new range applies at once.
    ContinuousGradeSlider free(0, 1, 0);
    QSignalSpy freeEdited(&free, &ContinuousGradeSlider::valueEdited);
    free.applyUserValue(0.123456);
    EXPECT_EQ(freeEdited[0][0].toDouble(), 0.123456);
    free.setValueRange(0, 4, 1);
    EXPECT_EQ(free.maximum(), 4);
    EXPECT_EQ(free.maximumValue(), 4);
}

TEST(ContinuousGradeSlider, EveryMouseReleaseEndsTheEdit)
{
    ContinuousGradeSlider slider(-1, 1, 0.01);
    slider.resize(200, 20);
    slider.show();
    QSignalSpy edited(&slider, &ContinuousGradeSlider::valueEdited);
    QSignalSpy released(&slider, &ContinuousGradeSlider::released);
    // A click without a drag.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(150, 10));
    EXPECT_EQ(released.count(), 1);
    // A drag: values while moving, one release at the end.
    const QPoint knob = slider.rect().center();
    slider.setBoundValue(0);
    QTest::mousePress(&slider, Qt::LeftButton, {}, knob);
    QTest::mouseMove(&slider, knob + QPoint(20, 0));
    QTest::mouseMove(&slider, knob + QPoint(40, 0));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, knob + QPoint(40, 0));
    EXPECT_GE(edited.count(), 2);
    EXPECT_GT(slider.shownValue(), 0);
    EXPECT_EQ(released.count(), 2);
    // Keys edit too and end with their release.
    slider.setFocus();
    const int before = edited.count();
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(edited.count(), before + 1);
    EXPECT_EQ(released.count(), 3);
}

// A sheet over a local edit state that logs every write and callback in order.
struct SheetFixture {
    explicit SheetFixture(std::vector<std::string> lutNames = {"None", "Film.cube", "Log.cube"})
        : sheet("DJI_0001.MP4", std::move(lutNames),
                {[this] { return state; },
                 [this](const ClipGradeEditState& written) {
                     state = written;
                     log.push_back("write");
                 }},
                [this] { log.push_back("change"); }, [this] { log.push_back("end"); },
                [this] { log.push_back("dismiss"); })
    {
    }

    std::vector<std::string> take()
    {
        std::vector<std::string> taken;
        taken.swap(log);
        return taken;
    }

    ClipGradeEditState state;
    std::vector<std::string> log;
    ClipGradeInspectorSheet sheet;
};

using Log = std::vector<std::string>;

TEST(ClipGradeInspectorSheet, EverySliderWritesItsFieldThenReportsAndEndsOnRelease)
{
    SheetFixture f;
    std::vector<ClipGradeCatalog::SliderSpec> definitions = ClipGradeCatalog::moodSliders();
    for (const auto& definition : ClipGradeCatalog::basicSliders())
        definitions.push_back(definition);
    ASSERT_EQ(definitions.size(), 15u);
    for (const ClipGradeCatalog::SliderSpec& definition : definitions) {
        SCOPED_TRACE(definition.id);
        auto* row = f.sheet.findChild<QWidget*>(QString::fromStdString("row_" + definition.id));
        ASSERT_NE(row, nullptr);
        auto* slider = row->findChild<ContinuousGradeSlider*>("ContinuousGradeSlider");
        ASSERT_EQ(slider, f.sheet.slider(definition.id));
        EXPECT_EQ(slider->minimumValue(), definition.min);
        EXPECT_EQ(slider->maximumValue(), definition.max);

        // The value is in the edit state when the change is reported.
        double seen = -99;
        const double* field = ClipGradeInspectorController::moodField(f.state, definition.id);
        if (!field)
            field = ClipGradeInspectorController::basicField(f.state, definition.id);
        ASSERT_NE(field, nullptr);
        const std::ptrdiff_t offset = reinterpret_cast<const char*>(field) - reinterpret_cast<const char*>(&f.state);
        auto check = QObject::connect(slider, &ContinuousGradeSlider::valueEdited, [&] {
            seen = *reinterpret_cast<const double*>(reinterpret_cast<const char*>(&f.state) + offset);
        });
        slider->applyUserValue(definition.max - 0.004); // snapped to the step
        QObject::disconnect(check);
        EXPECT_NEAR(seen, definition.max, 1e-9);
        EXPECT_EQ(f.take(), (Log{"write", "change"}));
        EXPECT_EQ(f.sheet.readout(definition.id)->text().toStdString(), definition.formatValue(seen));
        emit slider->released();
        EXPECT_EQ(f.take(), (Log{"end"}));
    }
    // Every slider wrote its own field: all fifteen moved to their maximum.
    EXPECT_EQ(f.state.moodAmount, 1.0);
    EXPECT_NEAR(f.state.exposure, 2.0, 1e-9);
    EXPECT_NEAR(f.state.tint, 1.0, 1e-9);
    EXPECT_NEAR(f.state.moodHighlightRolloff, 1.0, 1e-9);
}

TEST(ClipGradeInspectorSheet, PickersSwitchResetAndDoneCallInOrder)
{
    SheetFixture f;
    VelmoraDarkPopUpPicker* lut = f.sheet.lutPicker();
    ASSERT_EQ(lut->count(), 3);
    lut->pickIndex(1);
    EXPECT_EQ(f.state.lutReference, "Film.cube");
    EXPECT_EQ(f.take(), (Log{"write", "change", "end"}));
    lut->pickIndex(1); // already chosen
    EXPECT_EQ(f.take(), Log{});

    // A mood pick writes the key, then the switch; "none" turns the switch off.
    VelmoraDarkPopUpPicker* mood = f.sheet.moodPicker();
    const auto& tags = mood->selectableTags();
    const int vision = static_cast<int>(std::find(tags.begin(), tags.end(), "kodak_vision") - tags.begin());
    mood->pickIndex(vision);
    EXPECT_EQ(f.state.moodKey, "kodak_vision");
    EXPECT_TRUE(f.state.moodEnabled);
    EXPECT_EQ(f.take(), (Log{"write", "write", "change", "end"}));
    EXPECT_TRUE(f.sheet.moodSwitch()->isChecked());

    // The switch leaves the key and the amounts alone.
    f.state.moodContrast = 0.3;
    f.sheet.refresh();
    f.sheet.moodSwitch()->click();
    EXPECT_FALSE(f.state.moodEnabled);
    EXPECT_EQ(f.state.moodKey, "kodak_vision");
    EXPECT_EQ(f.state.moodContrast, 0.3);
    EXPECT_EQ(f.take(), (Log{"write", "change", "end"}));

    mood->pickIndex(0); // "none"
    EXPECT_EQ(f.state.moodKey, "none");
    EXPECT_FALSE(f.state.moodEnabled);
    EXPECT_EQ(f.take(), (Log{"write", "write", "change", "end"}));

    f.state.exposure = 1.5;
    f.sheet.resetButton()->click();
    EXPECT_EQ(f.state, ClipGradeEditState{});
    EXPECT_EQ(f.state.lutReference, "None");
    EXPECT_EQ(f.take(), (Log{"write", "change", "end"}));
    EXPECT_EQ(f.sheet.readout("exposure")->text(), "+0.00");

    f.sheet.doneButton()->click();
    EXPECT_EQ(f.take(), (Log{"dismiss"}));
    f.sheet.show();
    f.sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.sheet));
    QTest::keyClick(f.sheet.doneButton(), Qt::Key_Return);
    EXPECT_EQ(f.take(), (Log{"dismiss"}));
    EXPECT_EQ(f.state, ClipGradeEditState{});
}

TEST(ClipGradeInspectorSheet, ReadoutsShowValuesAsTheyAre)
{
    SheetFixture f(std::vector<std::string>{});
    EXPECT_EQ(f.sheet.lutPicker()->count(), 0);
    EXPECT_EQ(f.sheet.readout("exposure")->text(), "+0.00");
    EXPECT_EQ(f.sheet.readout("moodAmount")->text(), "1.00");
    EXPECT_EQ(f.sheet.readout("moodHighlightRolloff")->text(), "0.00");

    f.state.contrast = -0.5;
    f.state.exposure = 5; // outside the row's range: shown, not clamped
    f.state.lutReference = "Elsewhere.cube";
    f.sheet.refresh();
    EXPECT_EQ(f.sheet.readout("contrast")->text(), "-0.50");
    EXPECT_EQ(f.sheet.readout("exposure")->text(), "+5.00");
    EXPECT_EQ(f.state.exposure, 5);
    EXPECT_EQ(f.state.lutReference, "Elsewhere.cube");
    EXPECT_EQ(f.take(), Log{});

    // A binding asked for an id of the other section reads 0 and writes nothing.
    ClipGradeInspectorController& c = f.sheet.controller();
    EXPECT_EQ(c.moodBinding("exposure").get(), 0);
    c.moodBinding("exposure").set(1.0);
    EXPECT_EQ(f.state.exposure, 5);
    EXPECT_EQ(c.basicBinding("contrast").get(), -0.5);
}

struct InspectorWindowFixture {
    InspectorWindowFixture()
    {
        EditSession::Clip clip = videoClip("A", "s1", 0, 4);
        clip.name = "Beach";
        h.adopt({EditSession::Source("s1", "s1.mp4", "video")}, {clip});
        // What the Edit workspace does before it opens the window.
        h.engine.recordUndoPoint();
        before = ClipGradeEditState::from(h.session().clip("A"));
    }

    std::unique_ptr<GradeInspectorWindowRoot> open(const std::string& clipId)
    {
        auto root = std::make_unique<GradeInspectorWindowRoot>(
            h.engine, before, clipId, "Beach", h.engine.availableLutNames(), [this] { ++dismissed; },
            [this] { ++dirty; });
        h.engine.warmGradeSliderPreview(clipId, before);
        return root;
    }

    InspectorHarness h;
    ClipGradeEditState before;
    int dismissed = 0;
    int dirty = 0;
};

TEST(GradeInspectorWindowRoot, DragsRegradeLiveAndTheSessionUndoesInOneStep)
{
    InspectorWindowFixture f;
    auto root = f.open("A");
    TimelinePreviewEngine& engine = f.h.engine;
    QSignalSpy regrades(&engine, &TimelinePreviewEngine::gradePreviewRevisionChanged);

    ContinuousGradeSlider* exposure = root->sheet().slider("exposure");
    for (const double value : {0.2, 0.4, 0.6}) {
        exposure->applyUserValue(value);
        EXPECT_TRUE(engine.gradePreviewInteractive());
    }
    EXPECT_EQ(f.dirty, 3);
    EXPECT_EQ(regrades.count(), 3);
    emit exposure->released();
    EXPECT_FALSE(engine.gradePreviewInteractive());
    EXPECT_EQ(f.dirty, 3); // the end of an edit is not a change
    EXPECT_TRUE(engine.gradePreviewEnabled());
    EXPECT_NEAR(ClipGradeEditState::from(f.h.session().clip("A")).exposure, 0.6, 1e-9);

    root->sheet().resetButton()->click();
    VelmoraDarkPopUpPicker* mood = root->sheet().moodPicker();
    const auto& tags = mood->selectableTags();
    mood->pickIndex(static_cast<int>(std::find(tags.begin(), tags.end(), "golden_hour") - tags.begin()));
    EXPECT_EQ(f.dirty, 5);
    const ClipGradeEditState graded = ClipGradeEditState::from(f.h.session().clip("A"));
    EXPECT_TRUE(graded.moodEnabled);
    EXPECT_EQ(graded.moodKey, "golden_hour");
    EXPECT_EQ(graded.exposure, 0);

    // Done asks the owner; the root closes nothing itself.
    root->sheet().doneButton()->click();
    EXPECT_EQ(f.dismissed, 1);

    // The whole session is one undo step back to the grade before the window opened.
    engine.undo();
    EXPECT_EQ(ClipGradeEditState::from(f.h.session().clip("A")), f.before);
    EXPECT_FALSE(engine.canUndo());
}

TEST(GradeInspectorWindowRoot, AClipThatIsGoneStillMarksTheProjectDirty)
{
    InspectorWindowFixture f;
    auto root = f.open("gone");
    const EditSession::Timeline timeline = f.h.session().timelines.front();
    root->sheet().slider("contrast")->applyUserValue(0.5);
    EXPECT_EQ(f.dirty, 1);
    EXPECT_EQ(f.h.session().timelines.front(), timeline);
    EXPECT_EQ(root->controller().editState().contrast, 0.5);
}

TEST(GradeInspectorWindowRoot, TheWindowContentIsTheWholeSheet)
{
    InspectorWindowFixture f;
    auto root = f.open("A");
    EXPECT_EQ(GradeInspectorWindowRoot::contentSize(), QSize(380, 620));
    root->setWindowTitle("Mood & Basic Grade");
    root->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(root.get()));
    EXPECT_EQ(root->size(), QSize(380, 620));
    // The footer with "Reset" lies wholly inside the window.
    QPushButton* reset = root->sheet().resetButton();
    const QRect inRoot(reset->mapTo(root.get(), QPoint(0, 0)), reset->size());
    EXPECT_TRUE(root->rect().contains(inRoot)) << inRoot.y() << "+" << inRoot.height();
    EXPECT_TRUE(reset->isVisible());
    saveScreenshot(*root, "grade-inspector");
}

} // namespace
} // namespace velmora::test
