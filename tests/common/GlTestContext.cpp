// Qt's OpenGL headers only; the GLEW side lives in GlTestFunctions.cpp.
#include "common/GlTestContext.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

#include <chrono>
#include <thread>

void ensureTestApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "pla-test";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

bool processEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
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
