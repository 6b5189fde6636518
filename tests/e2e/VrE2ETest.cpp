// The VR mode as a host meets it: a player from the built plug-in shows a
// 360-degree clip through the simulated headset.
#include "e2e/VrE2ESupport.h"

#include <QImage>

using vre2e::describe;
using vre2e::VrE2E;

// equirect.mp4: quarters red, green, blue, yellow from left to right. From
// the sphere's centre, 45 degrees left of ahead is the middle of the green
// quarter and 45 degrees right the middle of the blue one.
TEST_F(VrE2E, HwVrHostShowsTheClipThroughTheHeadset)
{
    sim.pose(45, 0, 0.0f, -1.0f, -3.0f);
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    EXPECT_EQ(host.player()->renderMode(), 3);
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    ASSERT_TRUE(waitForFrames(20)) << "the headset gets no frames";

    auto halves = [&] {
        const QImage image = host.grabWidget();
        return std::make_pair(QColor(image.pixel(image.width() / 4, image.height() / 2)),
                              QColor(image.pixel(3 * image.width() / 4, image.height() / 2)));
    };
    auto seen = halves();
    EXPECT_TRUE(near(seen.first, QColor(0, 255, 0))) << describe(seen.first).toStdString();
    EXPECT_TRUE(near(seen.second, QColor(0, 255, 0))) << describe(seen.second).toStdString();

    sim.pose(-45, 0, 0.0f, -1.0f, -3.0f);
    ASSERT_TRUE(waitForFrames(5));
    seen = halves();
    EXPECT_TRUE(near(seen.first, QColor(0, 0, 255))) << describe(seen.first).toStdString();
    EXPECT_TRUE(near(seen.second, QColor(0, 0, 255))) << describe(seen.second).toStdString();

    // Every frame: left eye, right eye, both OpenGL textures in gamma space.
    for (int i = 0; i < sim.submitCount(); ++i) {
        int eye = -1, type = -1, colorSpace = -1, bounds = -1, flags = -1;
        uint32_t texture = 0;
        ASSERT_TRUE(sim.getSubmit(i, &eye, &texture, &type, &colorSpace, &bounds, &flags));
        EXPECT_EQ(eye, i % 2);
        EXPECT_NE(texture, 0u);
        EXPECT_EQ(type, 1);
        EXPECT_EQ(colorSpace, 1);
    }
    EXPECT_EQ(sim.count('I'), 1);
    // Stopped first: deleting a player whose audio output was just started
    // can abort inside Qt's PulseAudio backend, which is not under test here.
    host.player()->stop();
    pump(100);
    host.destroyPlayer();
    EXPECT_FALSE(sim.isInitialised());
}

TEST_F(VrE2E, SwitchingModesCreatesTheVrModeOnceAndDeletingThePlayerShutsItDown)
{
    E2EHost host("CreateSw", true, QSize(320, 160));
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    pump(200);
    EXPECT_EQ(sim.count('I'), 0) << "the flat mode started the runtime";

    host.player()->setRenderMode(3);
    EXPECT_EQ(host.player()->renderMode(), 3);
    ASSERT_TRUE(waitForFrames(5));
    EXPECT_EQ(sim.count('I'), 1);

    host.player()->setRenderMode(0);
    pump(300);
    const int submittedInFlatMode = sim.submitCount();
    pump(300);
    EXPECT_EQ(sim.submitCount(), submittedInFlatMode) << "the headset is fed in the flat mode";

    host.player()->setRenderMode(3);
    ASSERT_TRUE(waitForFrames(5));
    EXPECT_EQ(sim.count('I'), 1) << "a second VR mode was made";
    EXPECT_EQ(sim.count('S'), 0);
    EXPECT_TRUE(sim.isInitialised());

    // Stopped first: deleting a player whose audio output was just started
    // can abort inside Qt's PulseAudio backend, which is not under test here.
    host.player()->stop();
    pump(100);
    host.destroyPlayer();
    EXPECT_EQ(sim.count('S'), 1);
    EXPECT_FALSE(sim.isInitialised());
}

