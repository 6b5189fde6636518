#pragma once

#include "common/TestMedia.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

// Skips the current test unless it runs inside tools/test-env.sh.
#define PLA_REQUIRE_TEST_ENVIRONMENT()                                                        \
    do {                                                                                      \
        if (!haveTestEnvironment())                                                           \
            GTEST_SKIP() << "needs tools/test-env.sh (a display and a sound server)";         \
    } while (0)

// Records every Qt log message, from any thread, while it lives. One at a time.
class MessageCapture {
public:
    struct Message {
        QtMsgType type;
        QString category;
        QString text;
    };

    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    std::vector<Message> messages() const;
    // Messages containing fragment, of the given type (or AnyType).
    static constexpr int AnyType = -1;
    int count(const QString &fragment, int type = AnyType) const;
    bool contains(const QString &fragment, int type = AnyType) const { return count(fragment, type) > 0; }

private:
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &text);

    mutable std::mutex lock;
    std::vector<Message> recorded; // guarded by lock
    QtMessageHandler previous;
};

// seconds.mp4 (tools/make-test-media.sh) shows one solid colour per second.
extern const QColor kSecondColour[8];

// A file's bytes; empty when it cannot be read.
QByteArray readAll(const QString &path);

// Whether two colours match within tolerance per channel (lossy video moves them).
bool near(const QColor &a, const QColor &b, int tolerance = 48);
