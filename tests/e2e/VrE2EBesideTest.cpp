// The plug-in in a directory laid out as a user's install, with the runtime
// library beside it and no LD_LIBRARY_PATH.
#include "e2e/VrE2ESupport.h"

using vre2e::VrE2E;

TEST_F(VrE2E, PluginFindsTheRuntimeLibraryBesideItself)
{
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    EXPECT_TRUE(waitForFrames(5)) << "the runtime beside the plug-in was not used";
    EXPECT_EQ(sim.count('I'), 1);
    host.player()->stop();
    pump(100);
}
