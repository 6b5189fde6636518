// Conversions from the runtime's row-major matrices to column-major glm ones.
// Pure functions, any thread.
#pragma once

#include "render/OpenVRApi.h"

#include <glm/mat4x4.hpp>

namespace openvr {

inline glm::mat4 toColumnMajor(const vr::HmdMatrix44_t &m)
{
    glm::mat4 out;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            out[column][row] = m.m[row][column];
    return out;
}

// Extended with the bottom row (0, 0, 0, 1).
inline glm::mat4 toColumnMajor(const vr::HmdMatrix34_t &m)
{
    glm::mat4 out(1.0f);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            out[column][row] = m.m[row][column];
    return out;
}

} // namespace openvr
