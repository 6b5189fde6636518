// Shared pieces of the VR tests: an offscreen GL context under Xvfb, a frame
// holding a generated picture, an equirectangular test picture and pixel
// read-back helpers. Test thread only.
#pragma once

#include "frames/AbstractVideoFrame.h"
#include "render/gl/FBO.h"
#include "render/gl/Texture.h"

#include "OffscreenContext.h"

#include <gtest/gtest.h>

#include <ostream>
#include <cstdint>
#include <memory>
#include <vector>

namespace vrtest {

struct Rgba {
    uint8_t r, g, b, a;
    bool operator==(const Rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Rgba &o) const { return !(*this == o); }
};
inline std::ostream &operator<<(std::ostream &out, const Rgba &c)
{
    return out << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

// Regions of the equirectangular picture, centred on the directions they
// should be seen in: front around s = 0.5, left around 0.25, right around
// 0.75, back around the seam, and a band along the top row.
constexpr Rgba kFront = {255, 0, 0, 255};
constexpr Rgba kLeft = {0, 255, 0, 255};
constexpr Rgba kRight = {0, 0, 255, 255};
constexpr Rgba kBack = {255, 255, 0, 255};
constexpr Rgba kTop = {255, 255, 255, 255};
constexpr Rgba kBlack = {0, 0, 0, 255};

// The cleared background keeps the GL's default clear alpha of 0.
inline Rgba opaque(Rgba c)
{
    c.a = 255;
    return c;
}

inline std::vector<uint8_t> equirectPicture(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 4));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float s = (x + 0.5f) / width;
            const float t = (y + 0.5f) / height;
            Rgba c = kBack;
            if (t < 0.1f)
                c = kTop;
            else if (s >= 0.125f && s < 0.375f)
                c = kLeft;
            else if (s >= 0.375f && s < 0.625f)
                c = kFront;
            else if (s >= 0.625f && s < 0.875f)
                c = kRight;
            uint8_t *p = &pixels[static_cast<size_t>((y * width + x) * 4)];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    }
    return pixels;
}

// A converted frame whose picture is set by the test; counts its uploads.
class PictureFrame : public AbstractVideoFrame {
public:
    PictureFrame(int width, int height, std::vector<uint8_t> pixels)
        : AbstractVideoFrame(width, height), pixels(std::move(pixels))
    {
    }
    void updateTexture() override
    {
        ++uploads;
        texture.update(pixels.data(), width, height);
    }
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}

    std::vector<uint8_t> pixels;
    int uploads = 0;
};

// A current GL context without a window; GLEW initialised.
class GLContext {
public:
    GLContext()
    {
        glewExperimental = GL_TRUE;
        ok = qt.isCurrent() && glewInit() == GLEW_OK;
    }
    bool ok = false;

private:
    OffscreenContext qt;
};

// Stands in for the widget's framebuffer: an RGBA texture attached to an FBO,
// cleared to a colour no render of the VR code produces.
class Target {
public:
    Target(int width, int height) : width(width), height(height)
    {
        texture = std::make_unique<GL::Texture>(nullptr, width, height, GL_RGBA, GL_RGBA);
        fbo = std::make_unique<GL::FBO>();
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture->id, 0);
        glViewport(0, 0, width, height);
        glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    Rgba pixel(int x, int y)
    {
        Rgba c{};
        glBindFramebuffer(GL_FRAMEBUFFER, fbo->id);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &c);
        return c;
    }
    int width;
    int height;
    std::unique_ptr<GL::Texture> texture;
    std::unique_ptr<GL::FBO> fbo;
};

struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // rows bottom to top, as GL stores them
    Rgba at(int x, int y) const
    {
        const size_t i = static_cast<size_t>((y * width + x) * 4);
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
    Rgba centre() const { return at(width / 2, height / 2); }
};

inline TextureImage readTexture(GLuint name)
{
    TextureImage image;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.height);
    image.pixels.resize(static_cast<size_t>(image.width * image.height * 4));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return image;
}

} // namespace vrtest

