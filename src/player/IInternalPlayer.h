// The engine's interface, as the facade sees it. Every operation runs to
// completion on the calling (host) thread and notifies the listener last; the
// end of the media and a seek's completion are finished later on that same
// thread, from its event loop.
#pragma once

#include <cstdint>
#include <string>

// Engine states.
enum State : int {
    Idle = 0,
    Loading = 1,
    Loaded = 2,
    LoadFailed = 3,
    Playing = 4,
    Paused = 5,
    Finished = 6,
    Stopped = 7,
    Seeking = 8,
};

class IInternalPlayer {
public:
    enum Mode : int {
        Normal = 0,
        VR = 1,
    };

    class IListener {
    public:
        virtual ~IListener() = default;
        virtual void onStateChanged(int state) = 0;
        virtual void onTimeChanged(int64_t ms) = 0;
    };

    virtual ~IInternalPlayer() = default;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void loadVideo(const std::string &path) = 0;
    virtual bool isPlaying() = 0;
    virtual Mode mode() = 0;
    virtual void setMode(Mode mode) = 0;
    virtual int volume() = 0;
    virtual int64_t duration() = 0;
    virtual uint64_t currentTime() = 0;
    virtual void setVolume(int percent) = 0;
    virtual void setCurrentTime(uint64_t ms) = 0;
    virtual int videoWidth() = 0;
    virtual int videoHeight() = 0;
    virtual void reserved15() {}
    virtual void reserved16() {}
    virtual bool timeUpdatesSuspended() { return false; }
    virtual int64_t videoDecodeRate() = 0;
    virtual int64_t audioDecodeRate() = 0;
};
