// One QApplication for every test of the Qt backend; the platform is the offscreen one
// unless the caller chose another.
#include "QtFixture.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    qt_test::InstallMessageCollector();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
