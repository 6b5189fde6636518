#include "common/TestSupport.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {
std::atomic<MessageCapture *> activeCapture{nullptr};
} // namespace

const QColor kSecondColour[8] = {QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(0, 0, 255),
                                 QColor(255, 255, 0), QColor(255, 0, 255), QColor(0, 255, 255),
                                 QColor(255, 255, 255), QColor(128, 128, 128)};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

MessageCapture::MessageCapture()
{
    MessageCapture *expected = nullptr;
    if (!activeCapture.compare_exchange_strong(expected, this))
        std::abort(); // two captures at once would lose messages
    previous = qInstallMessageHandler(record);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previous);
    activeCapture.store(nullptr);
}

void MessageCapture::record(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    MessageCapture *capture = activeCapture.load();
    if (!capture)
        return;
    std::lock_guard<std::mutex> guard(capture->lock);
    capture->recorded.push_back({type, QString::fromLatin1(context.category ? context.category : ""), text});
}

std::vector<MessageCapture::Message> MessageCapture::messages() const
{
    std::lock_guard<std::mutex> guard(lock);
    return recorded;
}

int MessageCapture::count(const QString &fragment, int type) const
{
    std::lock_guard<std::mutex> guard(lock);
    return int(std::count_if(recorded.begin(), recorded.end(), [&](const Message &m) {
        return (type == AnyType || m.type == type) && m.text.contains(fragment);
    }));
}
