// The render view: a QGLWidget that paints the installed render mode, with a
// "repaint" thread of its own that asks for a paint when the picture changed
// (a new frame in the mode's slot; it looks every 5 ms) or, for a mode without
// such a slot (VR), every 5 ms; Qt adds the paints of resizes and exposes, and
// installing a mode asks for one. Everything but the repaint requests runs on
// the widget's (host GUI) thread. Owns its GL context and the repaint thread;
// the modes belong to the engine.
#pragma once

// GLEW must come before any header that pulls in the system's gl.h.
#include <GL/glew.h>

#include "render/AbstractInputHandler.h"
#include "render/IRenderView.h"
#include "support/FpsCounter.h"

#include <QGLWidget>
#include <QPoint>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

class FrameSlot;

class GLWidget : public QGLWidget, public AbstractInputHandler, public IRenderView {
    Q_OBJECT

public:
    explicit GLWidget(QWidget *parent = nullptr);
    ~GLWidget() override;

    // Lowest rate of real paints (paintGL calls with a mode installed) over
    // the last completed second; any thread, no lock. In the flat mode that is
    // the rate of new pictures, not a fixed 200: an idle or paused player
    // paints nothing.
    uint64_t renderRate() const;

    void setMode(AbstractMode *mode) override;
    // Runs work with this widget's context current and the GL entry points
    // loaded, also before the widget was ever shown.
    void execute(const std::function<void()> &work) override;
    bool isInitialized() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    void repaintLoop();

    AbstractMode *mode;          // widget thread only
    QPoint lastMousePos;         // widget thread only
    FpsCounter fpsCounter;       // ticked on the widget thread
    std::thread repaintThread;
    std::atomic<bool> stopRepaint;
    bool initialized;            // widget thread only

    // What the repaint thread watches, set by setMode. Guarded by watchMutex,
    // which the repaint thread holds while it reads the slot, so once setMode
    // has replaced a slot nothing reads it any more.
    std::atomic<int> settlePasses{0}; // set on the widget thread, counted down by the repaint thread
    std::mutex watchMutex;
    FrameSlot *watchedSlot = nullptr;
    bool paintContinuously = false;
};
