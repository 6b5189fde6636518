// A rectangle covering the whole viewport, textured with the frame slot's
// current frame. Created, drawn and deleted on the widget's thread with the
// GL context current. Owns its GL objects and the texture the frames are
// uploaded into; the frame slot is the engine's.
#pragma once

#include "frames/FrameTexture.h"
#include "frames/PictureFacts.h"
#include "render/gl/IRenderable.h"

class FrameSlot;

namespace GL {
class IBO;
class Program;
class VAO;
class VBO;
} // namespace GL

class TexturedRectangle : public GL::IRenderable {
public:
    explicit TexturedRectangle(FrameSlot *frameSlot);
    TexturedRectangle(const TexturedRectangle &) = delete;
    TexturedRectangle &operator=(const TexturedRectangle &) = delete;
    ~TexturedRectangle() override;

    void render() override;
    void resize(int width, int height) override;

private:
    GL::VAO *vao;
    GL::VBO *positions;
    GL::VBO *texCoords;
    GL::IBO *indices;
    GL::Program *program;
    FrameSlot *frameSlot;
    FrameTexture texture;
    PictureColour colour; // of the picture in texture
};
