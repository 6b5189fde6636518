// Qt's OpenGL headers only; the GLEW side lives in GlTestFunctions.cpp.
#include "common/GlTestContext.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

void ensureTestApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "pla-test";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

GlTestContext::GlTestContext()
{
    ensureTestApplication();
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

void GlTestContext::makeCurrent()
{
    glContext->makeCurrent(surface.get());
}
