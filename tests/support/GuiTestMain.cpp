// GoogleTest entry for widget tests: one QApplication for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The tests read exact pixels and must not depend on a platform theme's
    // native dialogs.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // CTest sets the platform; test discovery and hand runs do not, and there
    // is no display on the build machines.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef VELLUMIX_TEST_SCALE_FACTOR
    // A program that checks drawing on a high-density screen.
    qputenv("QT_SCALE_FACTOR", VELLUMIX_TEST_SCALE_FACTOR);
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
