// Entry point of the end-to-end and engine tests: one QApplication on the main
// thread, which is the GUI thread every player call is made on.
#include "common/GlDriverPin.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    pinGlDriver();
    return result;
}
