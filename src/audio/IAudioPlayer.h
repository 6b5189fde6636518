#pragma once

#include "player/AudioOutputFormat.h"

// The engine's view of the sound output.
class IAudioPlayer {
public:
    virtual ~IAudioPlayer() = default;
    virtual void play() = 0;  // starts a stopped output at the clock's position
    virtual void stop() = 0;  // stops and rebuilds the output
    virtual void pause() = 0; // suspends, keeping what is buffered
    virtual void flush() = 0; // drops what the output has buffered
    virtual void setVolume(float volume) = 0;
    virtual float volume() = 0;
    virtual AudioOutputFormat format() = 0;
    // Whether sound can play at all (a device took the format).
    virtual bool hasOutput() const = 0;
};
