// Qt's OpenGL headers only; the GLEW side lives in GlTestFunctions.cpp.
#include "common/GlTestContext.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

GlTestContext::GlTestContext()
{
    // Without a display there is no GUI application, and no surface.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    surface = std::make_unique<QOffscreenSurface>();
    surface->create();
    glContext = std::make_unique<QOpenGLContext>();
    if (!surface->isValid() || !glContext->create())
        return;
    if (!glContext->makeCurrent(surface.get()))
        return;
    valid = initGlewForTests();
}

GlTestContext::~GlTestContext()
{
    if (glContext && QOpenGLContext::currentContext() == glContext.get())
        glContext->doneCurrent();
}
