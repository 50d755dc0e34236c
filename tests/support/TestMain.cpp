#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

// Every suite runs with one QApplication, so widget, timer and GLib-loop tests work alike.
// Widgets are offscreen unless QT_QPA_PLATFORM says otherwise; tests find the build and source
// folders through WAVELARK_BUILD_DIR and WAVELARK_SOURCE_DIR.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("WAVELARK_BUILD_DIR"))
        qputenv("WAVELARK_BUILD_DIR", WAVELARK_TEST_BUILD_DIR);
    if (qEnvironmentVariableIsEmpty("WAVELARK_SOURCE_DIR"))
        qputenv("WAVELARK_SOURCE_DIR", WAVELARK_TEST_SOURCE_DIR);
    QApplication app(argc, argv);
    const int status = RUN_ALL_TESTS();
    // A filter that matches nothing is a registration fault, not a pass.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches the filter\n");
        return 1;
    }
    return status;
}
