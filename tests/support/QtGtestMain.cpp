#include <gtest/gtest.h>

#include <QCoreApplication>

// Test entry for units that need Qt's event dispatcher (timers, serial notifiers).
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
