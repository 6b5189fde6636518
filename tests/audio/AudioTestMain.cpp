// GoogleTest entry for the audio tests: QAudioOutput and queued calls need a
// QCoreApplication, and the tests run its event loop in slices.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
