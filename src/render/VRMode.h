// Render mode 1: the video on a sphere around the viewer. With a headset it
// is rendered per eye, submitted to the OpenVR compositor and mirrored side
// by side in the widget; without one the widget shows a single view that the
// mouse turns. Created, painted and deleted on the widget's thread; owns the
// runtime, the eye targets, the eye matrices or the desktop view, the sphere
// and the companion-window scene.
#pragma once

#include "frames/FrameTexture.h"
#include "frames/PictureFacts.h"
#include "render/AbstractMode.h"

class AbstractInputHandler;
class DesktopView;
class DoubleEyeScene;
class EyeFramebuffer;
class FrameSlot;
class TexturedSphere;
class VRMVP;
class VRRuntime;

class VRMode : public AbstractMode {
public:
    // Takes over runtime; frameSlot stays the engine's. Without a runtime the
    // desktop view listens to input (when given) until the mode is deleted.
    VRMode(VRRuntime *runtime, FrameSlot *frameSlot, int width, int height, AbstractInputHandler *input = nullptr);
    VRMode(const VRMode &) = delete;
    VRMode &operator=(const VRMode &) = delete;
    ~VRMode() override;

    void render() override;
    void resize(int width, int height) override;

    // Null when a headset is connected.
    DesktopView *desktopView() const { return desktop; }

private:
    void renderEyes();
    void renderDesktop();

    VRRuntime *runtime;
    FrameSlot *frameSlot;
    FrameTexture frameTexture; // the pictures both eyes are drawn from, uploaded once each
    PictureColour colour;      // of the picture in frameTexture
    AbstractInputHandler *input;
    // Headset only (null otherwise):
    EyeFramebuffer *leftEye = nullptr;
    EyeFramebuffer *rightEye = nullptr;
    VRMVP *mvp = nullptr;
    DoubleEyeScene *scene = nullptr;
    // Without a headset only (null otherwise):
    DesktopView *desktop = nullptr;
    TexturedSphere *sphere;
};
