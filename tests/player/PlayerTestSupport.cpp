#include "PlayerTestSupport.h"

#include <cstdio>

int64_t RecordingFrame::lastShown = -1;

LogCapture::LogCapture() : record{std::tmpfile(), 1, false, 0, 0, L""}, logger{&record}
{
    previous = diagnosticLogger();
    setDiagnosticLogger(&logger);
}

LogCapture::~LogCapture()
{
    setDiagnosticLogger(previous);
    std::fclose(record.file);
}

int LogCapture::count(const std::string &needle)
{
    std::string all(static_cast<size_t>(std::ftell(record.file)), '\0');
    std::rewind(record.file);
    all.resize(std::fread(all.data(), 1, all.size(), record.file));
    int n = 0;
    for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1))
        ++n;
    return n;
}

EngineQueues::EngineQueues(int width, int height)
{
    videoFreePool.setCapacity(40);
    videoReadyQueue.setCapacity(40);
    audioFreePool.setCapacity(120);
    audioReadyQueue.setCapacity(120);
    for (int i = 0; i < 40; ++i) {
        AbstractVideoFrame *frame = new RecordingFrame(width, height);
        videoFreePool.giveBack(frame);
    }
    for (int i = 0; i < 120; ++i) {
        AudioBuffer *buffer = new AudioBuffer;
        audioFreePool.giveBack(buffer);
    }
}

template <typename T, typename F>
static std::vector<int64_t> snapshot(ReadyQueue<T> &queue, F stamp)
{
    std::lock_guard<std::recursive_mutex> guard(queue.mutex());
    std::vector<int64_t> stamps;
    for (uint32_t n = queue.size(); n > 0; --n) {
        T *p = queue.pop();
        stamps.push_back(stamp(p));
        queue.push(p);
    }
    return stamps;
}

std::vector<int64_t> queuedTimestamps(ReadyQueue<AbstractVideoFrame> &queue)
{
    return snapshot(queue, [](AbstractVideoFrame *f) { return f->getTimestamp(); });
}

std::vector<int64_t> queuedTimestamps(ReadyQueue<AudioBuffer> &queue)
{
    return snapshot(queue, [](AudioBuffer *b) { return b->ptsMs; });
}
