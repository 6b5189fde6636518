// The part of a fragment shader that shows converted RGB as SDR BT.709:
// BT.2020 primaries brought into BT.709's, PQ and HLG tone-mapped, everything
// else passed through untouched. Runs on the GPU after the texture is read,
// for the flat mode and the sphere alike. Widget thread, GL context current.
#pragma once

#include "frames/PictureFacts.h"

#include <GL/glew.h>

#include <string>

namespace ColourStage {

// GLSL (1.10 and 3.30 core alike) declaring its uniforms and
// "vec3 displayColour(vec3 rgb)", to paste after a shader's #version line.
extern const char *const glsl;

// A fragment shader: versionLine, then glsl, then body.
std::string fragmentSource(const char *versionLine, const char *body);

// Sets the stage's uniforms on the bound program for pictures of that colour.
void apply(GLuint program, const PictureColour &colour);

} // namespace ColourStage
