// Public interface of the PlayerLibAV video-player plug-in.
//
// A host loads libPlayerLibAV.so, calls one of the factories below on its Qt GUI
// thread, embeds widget() in a window of its own and drives playback only through
// IMediaPlayer2. Every operation is called on the thread that called the factory;
// callbacks registered with addListener run on that thread too.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// Version of this interface and of the library that implements it. A host can
// test it at compile time, e.g. #if PLAYERLIBAV_VERSION >= PLAYERLIBAV_VERSION_CHECK(1, 0, 0).
#define PLAYERLIBAV_VERSION_MAJOR 1
#define PLAYERLIBAV_VERSION_MINOR 0
#define PLAYERLIBAV_VERSION_PATCH 0
#define PLAYERLIBAV_VERSION_STRING "1.0.0"
#define PLAYERLIBAV_VERSION_CHECK(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define PLAYERLIBAV_VERSION                                                                        \
    PLAYERLIBAV_VERSION_CHECK(PLAYERLIBAV_VERSION_MAJOR, PLAYERLIBAV_VERSION_MINOR, PLAYERLIBAV_VERSION_PATCH)

class QWidget;

// Event codes passed to every listener callback.
enum PlayerEvent : int {
    EventPlaying = 0,
    EventPaused = 1,
    EventStopped = 2,
    EventFinished = 3,
    // 4 is never raised.
    EventLoaded = 5,
    EventLoadFailed = 6,
    EventTimeChanged = 7, // at most one per 11 ms
};

// Render-mode codes of setRenderMode / renderMode.
enum RenderModeCode : int {
    RenderModeNormal = 0, // flat picture at its own shape (sample aspect included), turned as the
                          // file says, letterboxed in black
    RenderModeNone1 = 1,  // accepted, draws nothing
    RenderModeNone2 = 2,  // accepted, draws nothing
    RenderModeVR = 3,     // 360-degree picture on a sphere: in an OpenVR headset when one is there,
                          // else a desktop view the user drags to look around (no turn applied)
};

struct PlayerStatistics {
    int64_t videoDecodeRate; // pictures decoded in the last second
    int64_t audioDecodeRate; // audio frames decoded in the last second
    int64_t renderRate;      // lowest paint rate of the last second
};

class IMediaPlayer2 {
public:
    virtual ~IMediaPlayer2() = default;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void setCurrentTime(uint64_t ms) = 0;
    virtual void setVolume(float volume) = 0; // 0.0 to 1.0
    virtual void load(const QString &path) = 0;
    virtual uint64_t currentTime() const = 0;  // ms
    virtual int64_t duration() const = 0;      // ms, 0 when nothing is open
    virtual float volume() const = 0;
    virtual QString filePath() const = 0;
    virtual bool isPlaying() const = 0;
    virtual bool isPaused() const = 0;  // true whenever not playing
    virtual bool isStopped() const = 0; // true whenever not playing
    virtual int videoWidth() const = 0;  // stored picture size, before sample aspect and turn
    virtual int videoHeight() const = 0;
    virtual QWidget *widget() const = 0;
    virtual void setRenderMode(int code) = 0; // RenderModeCode; others ignored
    virtual int renderMode() const = 0;
    virtual void addListener(const std::function<void(int)> &callback) = 0;
    virtual PlayerStatistics statistics() const = 0;
};

// Factory type for hosts that resolve the factories with dlopen/QLibrary.
typedef IMediaPlayer2 *(*CreatePlayerFunction)();

#if defined(PLAYERLIBAV_BUILDING)
#define PLAYERLIBAV_EXPORT __attribute__((visibility("default")))
#else
#define PLAYERLIBAV_EXPORT
#endif

extern "C" {
PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateHw();   // hardware decoding, flat mode
PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateHwVr(); // hardware decoding, VR mode
PLAYERLIBAV_EXPORT IMediaPlayer2 *CreateSw();   // software decoding, flat mode
}
