#include "render/VRMode.h"

#include "player/FrameSlot.h"
#include "render/AbstractInputHandler.h"
#include "render/DesktopView.h"
#include "render/DoubleEyeScene.h"
#include "render/EyeFramebuffer.h"
#include "render/TexturedSphere.h"
#include "render/VRMVP.h"
#include "render/VRRuntime.h"

VRMode::VRMode(VRRuntime *runtime, FrameSlot *frameSlot, int width, int height, AbstractInputHandler *input)
    : AbstractMode(width, height), runtime(runtime), frameSlot(frameSlot), input(input)
{
    if (runtime->getSystem()) {
        leftEye = new EyeFramebuffer(static_cast<uint32_t>(runtime->renderWidth()),
                                     static_cast<uint32_t>(runtime->renderHeight()));
        rightEye = new EyeFramebuffer(static_cast<uint32_t>(runtime->renderWidth()),
                                      static_cast<uint32_t>(runtime->renderHeight()));
        mvp = new VRMVP(runtime);
    } else {
        desktop = new DesktopView();
        desktop->resize(width, height);
        if (input)
            input->addListener(desktop);
    }
    sphere = new TexturedSphere(5.0f, 256, 256);
    if (leftEye)
        scene = new DoubleEyeScene(leftEye->resolveTexture(), rightEye->resolveTexture(), width, height);
}

VRMode::~VRMode()
{
    if (desktop && input)
        input->removeListener(desktop);
    delete sphere;
    delete mvp;
    delete desktop;
    delete scene;
    delete rightEye;
    delete leftEye;
    delete runtime;
}

void VRMode::render()
{
    // Whatever another mode left behind: the sphere is drawn opaque, without
    // depth test or culling, over black.
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glActiveTexture(GL_TEXTURE0);

    // The slot is read once, so every view of this paint shows the same frame
    // even when the decoder replaces it meanwhile.
    sphere->setTexture(frameSlot->currentTexture(frameTexture, &colour));
    sphere->setColour(colour);
    if (desktop)
        renderDesktop();
    else
        renderEyes();
}

void VRMode::renderEyes()
{
    const StereoLayout layout = frameSlot->stereoLayout();
    mvp->setEye(0);
    sphere->setMatrix(mvp->matrix());
    sphere->setTextureWindow(layout.eyeWindow(0));
    leftEye->render(*sphere);

    mvp->setEye(1);
    sphere->setMatrix(mvp->matrix());
    sphere->setTextureWindow(layout.eyeWindow(1));
    rightEye->render(*sphere);

    runtime->submit(leftEye->resolveTexture(), rightEye->resolveTexture());
    // The pose fetched here is the one the next paint's matrices use.
    runtime->waitGetPoses();
    scene->render();
}

void VRMode::renderDesktop()
{
    // One view over the whole widget, of the left eye's part of the picture.
    glViewport(0, 0, width, height);
    sphere->setTextureWindow(frameSlot->stereoLayout().eyeWindow(0));
    sphere->setMatrix(desktop->matrix());
    sphere->render();
}

void VRMode::resize(int width, int height)
{
    AbstractMode::resize(width, height);
    if (scene)
        scene->resize(width, height);
    if (desktop)
        desktop->resize(width, height);
}
