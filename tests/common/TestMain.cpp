// The one entry point of every test executable: a QApplication on the main
// thread (the GUI thread every player and widget call is made on) when the
// test display is up, a QCoreApplication otherwise.
#include "common/GlDriverPin.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (std::getenv("DISPLAY"))
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const int result = RUN_ALL_TESTS();
    pinGlDriver();
    return result;
}
