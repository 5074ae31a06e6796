#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "workspace/keys/EditorKeyboardMonitorView.h"

namespace velmora {
namespace {

class EditorKeyboardMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* column = new QVBoxLayout(&window);
        field = new QLineEdit(&window);
        button = new QPushButton(QStringLiteral("Play"), &window);
        column->addWidget(field);
        column->addWidget(button);
        monitor = new EditorKeyboardMonitorView(&window);

        EditorKeyboardHandler handler;
        handler.onSplit = [this] { log.push_back("split"); };
        handler.onUndo = [this] { log.push_back("undo"); };
        handler.onScrubStep = [this](int direction, bool fine) {
            log.push_back("step " + std::to_string(direction) + (fine ? " fine" : ""));
        };
        handler.onSpace = [this] { log.push_back("space"); };
        monitor->setHandler(handler);

        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        button->setFocus();
    }

    QWidget window;
    QLineEdit* field = nullptr;
    QPushButton* button = nullptr;
    EditorKeyboardMonitorView* monitor = nullptr;
    std::vector<std::string> log;
};

TEST_F(EditorKeyboardMonitorTest, TakesTheEditorKeysBeforeTheFocusedWidget)
{
    int clicked = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicked; });
    QTest::keyClick(button, Qt::Key_S);
    QTest::keyClick(button, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(button, Qt::Key_Z, Qt::ControlModifier);
    // Space would press the focused button; the monitor plays instead.
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(log, (std::vector<std::string>{"split", "step -1 fine", "undo", "space"}));
    EXPECT_EQ(clicked, 0);

    // A held key acts once; a held arrow on every repeat.
    log.clear();
    QTest::keyPress(button, Qt::Key_S);
    QKeyEvent repeatS(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, QStringLiteral("s"), true);
    QApplication::sendEvent(button, &repeatS);
    QKeyEvent repeatRight(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(button, &repeatRight);
    EXPECT_EQ(log, (std::vector<std::string>{"split", "step 1"}));
}

TEST_F(EditorKeyboardMonitorTest, TextFieldsAndDialogsKeepEveryKey)
{
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("s s"));
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(log.empty());
    // Ctrl+Z reached the field and undid typing there.
    EXPECT_LT(field->text().size(), 3);

    // An alert waiting for an answer gets Space and Escape.
    QDialog alert(&window);
    alert.setModal(true);
    alert.show();
    QTest::keyClick(&alert, Qt::Key_Space);
    QTest::keyClick(&alert, Qt::Key_Escape);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(alert.isVisible()); // Escape rejected it
}

TEST_F(EditorKeyboardMonitorTest, ShortcutsOfTakenKeysDoNotFireButCtrlSReachesSave)
{
    int saved = 0;
    int shortcutS = 0;
    QShortcut save(QKeySequence(Qt::CTRL | Qt::Key_S), &window);
    QObject::connect(&save, &QShortcut::activated, [&] { ++saved; });
    QShortcut plainS(QKeySequence(Qt::Key_S), &window);
    QObject::connect(&plainS, &QShortcut::activated, [&] { ++shortcutS; });

    QTest::keyClick(button, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(button, Qt::Key_S);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(shortcutS, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"split"}));
}

TEST_F(EditorKeyboardMonitorTest, StopsWhenTakenOutOfItsWindowOrDeleted)
{
    EXPECT_TRUE(monitor->isMonitoring());
    monitor->setParent(nullptr);
    EXPECT_FALSE(monitor->isMonitoring());
    QTest::keyClick(button, Qt::Key_S);
    EXPECT_TRUE(log.empty());

    // Into another window: the same monitor again.
    monitor->setParent(&window);
    EXPECT_TRUE(monitor->isMonitoring());
    QTest::keyClick(button, Qt::Key_S);
    EXPECT_EQ(log.size(), 1u);

    delete monitor;
    QTest::keyClick(button, Qt::Key_S);
    EXPECT_EQ(log.size(), 1u);
}

} // namespace
} // namespace velmora
