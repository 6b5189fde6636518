#include "common/TestMedia.h"

#include <cstdlib>

bool haveTestEnvironment()
{
    return std::getenv("DISPLAY") && std::getenv("PULSE_SERVER");
}
