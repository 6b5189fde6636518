// The VR mode's video sphere: the mesh in GL buffers, drawn with a texture,
// the part of it to show and a matrix, all supplied per eye. Widget thread
// only; owns the mesh, its buffers and the program, not the texture or matrix.
#pragma once

#include "frames/PictureFacts.h"
#include "render/gl/IRenderable.h"

#include <GL/glew.h>

#include <array>

class SphereMesh;
namespace GL {
class IBO;
class Program;
class VBO;
} // namespace GL

class TexturedSphere : public GL::IRenderable {
public:
    TexturedSphere(float radius, int sectors, int stacks);
    TexturedSphere(const TexturedSphere &) = delete;
    TexturedSphere &operator=(const TexturedSphere &) = delete;
    ~TexturedSphere() override;

    // Column-major 4 x 4; must stay valid until the next render.
    void setMatrix(const float *matrix) { mvp = matrix; }
    // The picture to show; 0 shows the default texture.
    void setTexture(GLuint name) { texture = name; }
    // What the texture's values mean.
    void setColour(const PictureColour &c) { colour = c; }
    // The part of the picture mapped onto the sphere: texture coordinates are
    // scaled by window[0], window[1], then offset by window[2], window[3].
    void setTextureWindow(const std::array<float, 4> &window) { textureWindow = window; }

    // Clears the bound framebuffer and draws; does nothing before setMatrix.
    void render() override;
    void resize(int width, int height) override;

private:
    SphereMesh *mesh;
    GL::VBO *vbo;
    GL::IBO *ibo;
    GL::Program *program;
    const float *mvp = nullptr;
    GLuint texture = 0;
    PictureColour colour;
    std::array<float, 4> textureWindow{1.0f, 1.0f, 0.0f, 0.0f};
};
