// The companion window: both resolved eye images side by side over the whole
// widget, left eye in the left half. Widget thread only; owns its vertex
// array, buffers and program, not the eye textures.
#pragma once

#include "render/gl/IRenderable.h"

#include <GL/glew.h>

#include <cstdint>

namespace GL {
class IBO;
class Program;
class VAO;
class VBO;
} // namespace GL

class DoubleEyeScene : public GL::IRenderable {
public:
    DoubleEyeScene(GLuint leftTexture, GLuint rightTexture, int width, int height);
    DoubleEyeScene(const DoubleEyeScene &) = delete;
    DoubleEyeScene &operator=(const DoubleEyeScene &) = delete;
    ~DoubleEyeScene() override;

    void render() override;
    void resize(int width, int height) override;

private:
    int32_t width;
    int32_t height;
    GLuint leftTexture;
    GLuint rightTexture;
    GL::VAO *vao;
    GL::VBO *vertices;
    GL::IBO *indices;
    GL::Program *program;
    uint32_t indexCount;
};
