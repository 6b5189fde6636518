// The render view: a QGLWidget that paints the installed render mode, with a
// "repaint" thread of its own asking for a paint every 5 ms, and the input
// dispatcher fed by its mouse and wheel events. Everything but the repaint
// requests runs on the widget's (host GUI) thread. Owns its GL context and the
// repaint thread; the modes belong to the engine.
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
#include <thread>

class GLWidget : public QGLWidget, public AbstractInputHandler, public IRenderView {
    Q_OBJECT

public:
    explicit GLWidget(QWidget *parent = nullptr);
    ~GLWidget() override;

    // Lowest paint rate of the last completed second; any thread, no lock.
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
};
