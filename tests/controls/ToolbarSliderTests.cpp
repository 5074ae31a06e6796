#include <limits>

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/VelmoraToolbarSlider.h"

namespace velmora {
namespace {

TEST(VelmoraToolbarSlider, SnapsHalvesAwayFromZero)
{
    EXPECT_EQ(VelmoraToolbarSlider::snapped(99.5, 1), 100.0);
    EXPECT_EQ(VelmoraToolbarSlider::snapped(99.49, 1), 99.0);
    EXPECT_EQ(VelmoraToolbarSlider::snapped(-0.375, 0.25), -0.5);
    EXPECT_EQ(VelmoraToolbarSlider::snapped(0.375, 0.25), 0.5);
    EXPECT_EQ(VelmoraToolbarSlider::snapped(-2.5, 1), -3.0);
    // No step: unchanged.
    EXPECT_EQ(VelmoraToolbarSlider::snapped(12.345, 0), 12.345);
    EXPECT_EQ(VelmoraToolbarSlider::snapped(12.345, -1), 12.345);
}

TEST(VelmoraToolbarSlider, AUserChangeIsShownSnappedAndReported)
{
    VelmoraToolbarSlider slider(0, 200, 1);
    QSignalSpy edited(&slider, &VelmoraToolbarSlider::valueEdited);
    slider.applyUserValue(99.5);
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited.at(0).at(0).toDouble(), 100.0);
    EXPECT_EQ(slider.shownValue(), 100.0);
    EXPECT_EQ(slider.sliderPosition(), 5000); // the knob moved to 100 of 0…200

    slider.setStep(0);
    slider.applyUserValue(12.345);
    EXPECT_EQ(edited.at(1).at(0).toDouble(), 12.345);
}

TEST(VelmoraToolbarSlider, KeyboardStepsGoThroughTheSameSnapping)
{
    VelmoraToolbarSlider slider(0, 200, 1);
    slider.setBoundValue(99);
    QSignalSpy edited(&slider, &VelmoraToolbarSlider::valueEdited);
    QTest::keyClick(&slider, Qt::Key_Right);
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited.at(0).at(0).toDouble(), 100.0);
}

TEST(VelmoraToolbarSlider, TheBoundValueMovesTheKnobOnlyBeyondATenThousandth)
{
    VelmoraToolbarSlider slider(0, 100, 1);
    QSignalSpy edited(&slider, &VelmoraToolbarSlider::valueEdited);
    slider.setBoundValue(50);
    slider.setBoundValue(50.00005);
    EXPECT_EQ(slider.shownValue(), 50.0);
    slider.setBoundValue(50.0002);
    EXPECT_EQ(slider.shownValue(), 50.0002);
    // Following the binding is not a user change.
    EXPECT_EQ(edited.count(), 0);

    // Out of range values keep the knob inside the track; a non-finite one is not shown.
    slider.setBoundValue(500);
    EXPECT_EQ(slider.sliderPosition(), slider.maximum());
    slider.setBoundValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(slider.shownValue(), 500.0);
}

} // namespace
} // namespace velmora
