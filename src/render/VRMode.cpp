#include "render/VRMode.h"

#include "render/DoubleEyeScene.h"
#include "render/EyeFramebuffer.h"
#include "render/TexturedSphere.h"
#include "render/VRMVP.h"
#include "render/VRRuntime.h"

VRMode::VRMode(VRRuntime *runtime, FrameSlot *frameSlot, int width, int height)
    : AbstractMode(width, height), runtime(runtime)
{
    leftEye = new EyeFramebuffer(static_cast<uint32_t>(runtime->renderWidth()),
                                 static_cast<uint32_t>(runtime->renderHeight()));
    rightEye = new EyeFramebuffer(static_cast<uint32_t>(runtime->renderWidth()),
                                  static_cast<uint32_t>(runtime->renderHeight()));
    mvp = new VRMVP(runtime);
    sphere = new TexturedSphere(5.0f, 256, 256, frameSlot);
    scene = new DoubleEyeScene(leftEye->resolveTexture(), rightEye->resolveTexture(), width, height);
}

VRMode::~VRMode()
{
    delete sphere;
    delete mvp;
    delete scene;
    delete rightEye;
    delete leftEye;
    delete runtime;
}

void VRMode::render()
{
    VRMVP *eyeMatrix = static_cast<VRMVP *>(mvp);
    eyeMatrix->setEye(0);
    sphere->setMatrix(mvp->matrix());
    leftEye->render(*sphere);

    eyeMatrix->setEye(1);
    sphere->setMatrix(mvp->matrix());
    rightEye->render(*sphere);

    runtime->submit(leftEye->resolveTexture(), rightEye->resolveTexture());
    // The pose fetched here is the one the next paint's matrices use.
    runtime->waitGetPoses();
    scene->render();
}

void VRMode::resize(int width, int height)
{
    AbstractMode::resize(width, height);
    scene->resize(width, height);
}
