#include <QApplication>

#include <gtest/gtest.h>

// Every suite runs with one QApplication, so widget, timer and GLib-loop tests work alike.
// The platform comes from QT_QPA_PLATFORM (ctest sets "offscreen").
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
