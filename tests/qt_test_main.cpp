// Entry of the widget and window tests: a QApplication on the offscreen
// platform (with the screens a test program names in VARMOLEN_TEST_SCREENS,
// otherwise the platform's one), then every test.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifdef VARMOLEN_TEST_SCREENS
    // The screens of the offscreen platform, from its configuration file.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" VARMOLEN_TEST_SCREENS);
#else
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
