// Shared by the player and CUDA tests: the engine's sound format, and the
// capture of the diagnostic log.
#pragma once

#include "common/LogCapture.h"
#include "player/AudioOutputFormat.h"

constexpr AudioOutputFormat EngineFormat{3, 3, 44100, 4};
