// A GL context on an offscreen surface, current on the creating thread, GLEW
// initialised. Free of GL headers, so it goes before or after GLEW.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class QOffscreenSurface;
class QOpenGLContext;

class GlTestContext {
public:
    GlTestContext();
    ~GlTestContext();

    // False when no display or no GL context is available.
    bool isValid() const { return valid; }

private:
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> glContext;
    bool valid = false;
};

// glewInit for the current context (GLEW's entry points are process-wide).
bool initGlewForTests();
// Level 0 of a 2D texture as tightly packed RGBA bytes (binds the texture).
std::vector<uint8_t> readTextureRgba(unsigned int texture, int width, int height);
