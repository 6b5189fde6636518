// Render mode 1: the video on a sphere around the viewer, rendered per eye,
// submitted to the OpenVR compositor and mirrored side by side in the widget.
// Created, painted and deleted on the widget's thread; owns the runtime, both
// eye targets, the eye matrices, the sphere and the companion-window scene.
#pragma once

#include "render/AbstractMode.h"

class DoubleEyeScene;
class EyeFramebuffer;
class FrameSlot;
class IModelViewProjection;
class TexturedSphere;
class VRMVP;
class VRRuntime;

class VRMode : public AbstractMode {
public:
    // Takes over runtime; frameSlot stays the engine's.
    VRMode(VRRuntime *runtime, FrameSlot *frameSlot, int width, int height);
    VRMode(const VRMode &) = delete;
    VRMode &operator=(const VRMode &) = delete;
    ~VRMode() override;

    void render() override;
    void resize(int width, int height) override;

private:
    VRRuntime *runtime;
    EyeFramebuffer *leftEye;
    EyeFramebuffer *rightEye;
    IModelViewProjection *mvp;
    TexturedSphere *sphere;
    DoubleEyeScene *scene;
};
