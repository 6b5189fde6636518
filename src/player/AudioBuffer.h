#pragma once

#include <cstdint>

// One block of converted sound in the AudioOutputFormat. Filled by the audio
// packet decoder, played by the audio device; circulates between the audio
// pool and the audio ready queue, never allocated during playback.
struct AudioBuffer {
    uint8_t *data = nullptr; // interleaved samples, owned
    uint32_t size = 0;       // bytes of valid sound
    uint32_t capacity = 0;   // bytes allocated at data
    int64_t ptsMs = 0;       // time of the first sample

    AudioBuffer() = default;
    AudioBuffer(const AudioBuffer &) = delete;
    AudioBuffer &operator=(const AudioBuffer &) = delete;
    ~AudioBuffer() { delete[] data; }
};
