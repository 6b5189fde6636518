// The offscreen GL context of the benchmark. Kept apart from the GLEW users:
// Qt's OpenGL headers and GLEW's must not meet in one translation unit.
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

bool makeBenchGlContext(int &argc, char **argv)
{
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    static QOffscreenSurface *surface = new QOffscreenSurface;
    static QOpenGLContext *context = new QOpenGLContext;
    (void)app;
    surface->create();
    return context->create() && context->makeCurrent(surface);
}
