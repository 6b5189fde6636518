#include "render/EyeFramebuffer.h"

#include "render/gl/FBO.h"
#include "render/gl/IRenderable.h"
#include "render/gl/MultisampleTexture.h"
#include "render/gl/RBO.h"
#include "render/gl/Texture.h"

namespace {
constexpr GLsizei kSamples = 4;
}

EyeFramebuffer::EyeFramebuffer(uint32_t width, uint32_t height) : width(width), height(height)
{
    const GLsizei w = static_cast<GLsizei>(width);
    const GLsizei h = static_cast<GLsizei>(height);

    depth = new GL::RBO();
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, kSamples, GL_DEPTH_COMPONENT, w, h);

    renderFbo = new GL::FBO();
    resolveFbo = new GL::FBO();

    colour = new GL::MultisampleTexture();
    glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, kSamples, GL_RGBA, w, h, GL_TRUE);

    resolved = new GL::Texture(nullptr, w, h, GL_RGBA, GL_RGBA);

    renderFbo->bind();
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth->id);
    renderFbo->unbind();

    renderFbo->bind();
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, colour->id, 0);
    renderFbo->unbind();

    resolveFbo->bind();
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolved->id, 0);
    resolveFbo->unbind();

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

EyeFramebuffer::~EyeFramebuffer()
{
    delete depth;
    delete colour;
    delete renderFbo;
    delete resolved;
    delete resolveFbo;
}

void EyeFramebuffer::render(GL::IRenderable &drawable)
{
    const GLint w = static_cast<GLint>(width);
    const GLint h = static_cast<GLint>(height);

    glEnable(GL_MULTISAMPLE);
    glViewport(0, 0, w, h);

    // The caller may be drawing into a framebuffer of its own (the widget's
    // is not always 0), so that binding is put back at the end.
    GLint previous = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);

    renderFbo->bind();
    drawable.render();
    renderFbo->unbind();

    glDisable(GL_MULTISAMPLE);

    glBindFramebuffer(GL_READ_FRAMEBUFFER, renderFbo->id);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFbo->id);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);

    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
}

GLuint EyeFramebuffer::resolveTexture() const
{
    return resolved->id;
}
