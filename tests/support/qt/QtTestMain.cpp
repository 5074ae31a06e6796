// The main() of every test executable whose layer has views: one QApplication on the
// offscreen platform (unless the caller chose another, e.g. xcb under Xvfb), then GoogleTest.
// Qt Test's event helpers (QTest::mouseClick, QTest::keyClick, …) work inside the tests.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
