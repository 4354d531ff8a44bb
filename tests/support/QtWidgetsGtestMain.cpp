#include <gtest/gtest.h>

#include <QApplication>

// Test entry for tests that drive real windows: they need a QApplication. Without a platform
// named in the environment (test discovery, a plain run) the windows stay offscreen.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
