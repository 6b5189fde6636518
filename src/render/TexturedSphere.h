// The VR mode's video sphere: the mesh in GL buffers, drawn with the frame
// slot's current texture and a matrix supplied per eye. Widget thread only;
// owns the mesh, its buffers, the program and the texture the frames are
// uploaded into, not the frame slot or matrix.
#pragma once

#include "frames/FrameTexture.h"
#include "render/gl/IRenderable.h"

class FrameSlot;
class SphereMesh;
namespace GL {
class IBO;
class Program;
class VBO;
} // namespace GL

class TexturedSphere : public GL::IRenderable {
public:
    TexturedSphere(float radius, int sectors, int stacks, FrameSlot *frameSlot);
    TexturedSphere(const TexturedSphere &) = delete;
    TexturedSphere &operator=(const TexturedSphere &) = delete;
    ~TexturedSphere() override;

    // Column-major 4 x 4; must stay valid until the next render.
    void setMatrix(const float *matrix) { mvp = matrix; }

    // Clears the bound framebuffer and draws; does nothing before setMatrix.
    void render() override;
    void resize(int width, int height) override;

private:
    FrameSlot *frameSlot;
    SphereMesh *mesh;
    GL::VBO *vbo;
    GL::IBO *ibo;
    GL::Program *program;
    const float *mvp = nullptr;
    FrameTexture texture;
};
