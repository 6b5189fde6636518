// One eye's render target: a 4-sample colour and depth framebuffer resolved
// after every render into a plain RGBA texture, the image the compositor and
// the companion window show. Widget thread only; owns all five GL objects.
#pragma once

#include <GL/glew.h>

#include <cstdint>

namespace GL {
class FBO;
class IRenderable;
class MultisampleTexture;
class RBO;
class Texture;
} // namespace GL

class EyeFramebuffer {
public:
    EyeFramebuffer(uint32_t width, uint32_t height);
    EyeFramebuffer(const EyeFramebuffer &) = delete;
    EyeFramebuffer &operator=(const EyeFramebuffer &) = delete;
    ~EyeFramebuffer();

    // Draws drawable into the multisampled target and resolves it; the
    // framebuffer bound before the call is bound again afterwards.
    void render(GL::IRenderable &drawable);
    GLuint resolveTexture() const;

    uint32_t getWidth() const { return width; }
    uint32_t getHeight() const { return height; }

private:
    uint32_t width;
    uint32_t height;
    GL::RBO *depth;
    GL::FBO *renderFbo;
    GL::FBO *resolveFbo;
    GL::MultisampleTexture *colour;
    GL::Texture *resolved;
};
