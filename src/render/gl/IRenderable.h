#pragma once

namespace GL {

// Everything that can be drawn into the currently bound framebuffer.
class IRenderable {
public:
    virtual ~IRenderable() = default;
    virtual void render() = 0;
    virtual void resize(int width, int height) = 0;
};

} // namespace GL
