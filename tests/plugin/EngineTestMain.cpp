// The engine needs a QApplication on the main thread (its widget and audio output).
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
