#pragma once

#include <cstdint>

// The sound format the engine produces and plays: FFmpeg channel-layout mask,
// FFmpeg sample format, sample rate and bytes per sample of one channel.
struct AudioOutputFormat {
    int32_t channelLayout;
    int32_t sampleFormat;
    int32_t sampleRate;
    int32_t bytesPerSample;
};
