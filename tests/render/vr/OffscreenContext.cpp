#include "OffscreenContext.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace vrtest {

struct OffscreenContext::Parts {
    QOffscreenSurface surface;
    QOpenGLContext context;
};

OffscreenContext::OffscreenContext()
{
    if (!QGuiApplication::instance()) {
        static int argc = 1;
        static char name[] = "vr_test";
        static char *argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }
    parts = std::make_unique<Parts>();
    parts->surface.create();
    if (parts->context.create())
        current = parts->context.makeCurrent(&parts->surface);
}

OffscreenContext::~OffscreenContext()
{
    parts->context.doneCurrent();
}

} // namespace vrtest
