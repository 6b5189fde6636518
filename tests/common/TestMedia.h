// Paths of the media generated once per test run by tools/make-test-media.sh.
#pragma once

#include <cstdlib>
#include <string>

inline std::string mediaPath(const std::string &name)
{
    return std::string(PLA_TEST_MEDIA_DIR) + "/" + name;
}

// True when the test runs inside tools/test-env.sh (a display and a sound server).
inline bool haveTestEnvironment()
{
    return std::getenv("DISPLAY") && std::getenv("PULSE_SERVER");
}
