#include "render/GLWidget.h"

#include "player/FrameSlot.h"
#include "render/AbstractMode.h"
#include "support/HighResTimer.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <pthread.h>

namespace {

// GLEW's entry points are process-wide. Loading them needs a current context,
// which the engine may ask for (through execute) before Qt ever calls
// initializeGL, so whichever comes first loads them.
std::atomic<bool> glewLoaded{false};

// Paints after a resize or a mode change: 50 ms of the repaint thread's passes.
constexpr int kSettlePasses = 10;

void loadGlEntryPoints()
{
    // Without it GLEW skips entry points whose extension string it does not
    // find, even where the context's version provides them.
    glewExperimental = GL_TRUE;
    if (glewInit() == GLEW_OK)
        glewLoaded = true;
}

} // namespace

GLWidget::GLWidget(QWidget *parent)
    : QGLWidget(parent), mode(nullptr), lastMousePos(0, 0), fpsCounter("GLWidget"), stopRepaint(false),
      initialized(false)
{
    repaintThread = std::thread(&GLWidget::repaintLoop, this);
    // Named from here, so the name is in place once the widget exists.
    pthread_setname_np(repaintThread.native_handle(), "repaint");
}

GLWidget::~GLWidget()
{
    stopRepaint = true;
    if (repaintThread.joinable())
        repaintThread.join();
}

uint64_t GLWidget::renderRate() const
{
    return fpsCounter.minRate();
}

void GLWidget::repaintLoop()
{
    HighResTimer timer;
    uint64_t requestedChange = 0;
    while (!stopRepaint) {
        bool wanted = settlePasses > 0;
        if (wanted)
            --settlePasses;
        {
            std::lock_guard<std::mutex> guard(watchMutex);
            if (paintContinuously) {
                wanted = true;
            } else if (watchedSlot) {
                const uint64_t change = watchedSlot->changeCount();
                wanted = wanted || change != requestedChange;
                requestedChange = change;
            }
        }
        // QWidget::update is only safe on the widget's thread: post it there.
        // Qt merges the requests that pile up into one paint. Called by name,
        // so that no object of ours crosses to the widget's thread.
        if (wanted)
            QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
        timer.sleepUntilThenRestart(5);
    }
}

void GLWidget::setMode(AbstractMode *newMode)
{
    {
        std::lock_guard<std::mutex> guard(watchMutex);
        watchedSlot = newMode ? newMode->changeSource() : nullptr;
        paintContinuously = newMode && !watchedSlot;
    }
    mode = newMode;
    if (mode)
        mode->resize(width(), height());
    // A new mode shows a new picture.
    settlePasses = kSettlePasses;
    update();
}

void GLWidget::execute(const std::function<void()> &work)
{
    // The widget owns a valid context from construction on, shown or not;
    // making it current puts every GL object the engine creates here in the
    // context that paints them.
    if (context() && context()->isValid()) {
        makeCurrent();
        if (!glewLoaded)
            loadGlEntryPoints();
    }
    work();
}

bool GLWidget::isInitialized() const
{
    return initialized;
}

void GLWidget::mousePressEvent(QMouseEvent *event)
{
    mousePressed(float(event->x()), float(event->y()));
    lastMousePos = event->pos();
}

void GLWidget::mouseReleaseEvent(QMouseEvent *event)
{
    mouseReleased(float(event->x()), float(event->y()));
}

void GLWidget::mouseMoveEvent(QMouseEvent *event)
{
    int x = event->x();
    int y = event->y();
    mouseMoved(float(x), float(y), float(x - lastMousePos.x()), float(y - lastMousePos.y()));
    lastMousePos = event->pos();
}

void GLWidget::wheelEvent(QWheelEvent *event)
{
    wheelTurned(0.0f, float(event->angleDelta().y()));
}

void GLWidget::initializeGL()
{
    loadGlEntryPoints();
    initialized = true;
}

void GLWidget::resizeGL(int width, int height)
{
    glViewport(0, 0, width, height);
    if (mode)
        mode->resize(width, height);
    // The window system sends no expose for a shrinking side, and the GL
    // driver may re-allocate the window's buffers only after the paint that
    // follows (leaving them blank): keep painting for a few passes.
    settlePasses = kSettlePasses;
    update();
}

void GLWidget::paintGL()
{
    if (!mode)
        return;
    fpsCounter.tick();
    mode->render();
}
