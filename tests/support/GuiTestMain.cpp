// GoogleTest entry for widget tests: one QApplication for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The tests read exact pixels and must not depend on a platform theme's
    // native dialogs.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Offscreen always, also on a developer's desktop: the pixels the tests
    // read must not depend on a display's scale, theme or window manager.
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef VELLUMIX_TEST_SCALE_FACTOR
    // A program that checks drawing on a high-density screen.
    qputenv("QT_SCALE_FACTOR", VELLUMIX_TEST_SCALE_FACTOR);
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
