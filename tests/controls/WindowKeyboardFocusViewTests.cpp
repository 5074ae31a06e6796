#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "controls/WindowKeyboardFocusView.h"

namespace velmora {
namespace {

TEST(WindowKeyboardFocusView, OutsideAWindowItDoesNothing)
{
    WindowKeyboardFocusView loose;
    loose.claimFocusIfNeeded();
    EXPECT_FALSE(loose.hasFocus());

    // In a window that is not on screen yet: nothing until the window shows.
    QWidget window;
    auto* focusView = new WindowKeyboardFocusView(&window);
    focusView->claimFocusIfNeeded();
    EXPECT_FALSE(focusView->hasFocus());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), focusView);
}

TEST(WindowKeyboardFocusView, TakesFocusWhenItJoinsAShownWindowAndOnEveryClaim)
{
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    column->addWidget(field);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), field);

    auto* focusView = new WindowKeyboardFocusView;
    focusView->setParent(&window);
    focusView->show();
    EXPECT_EQ(QApplication::focusWidget(), focusView);

    // It never gives focus back, but claims it again when asked.
    field->setFocus();
    focusView->claimFocusIfNeeded();
    EXPECT_EQ(QApplication::focusWidget(), focusView);
}

} // namespace
} // namespace velmora
