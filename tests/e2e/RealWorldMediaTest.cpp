// Files as people have them. Each rw_* clip shows the first colours of
// seconds.mp4 for a second each with a tone per second, so the screen and the
// recorded sound tell where playback is. When the sound starts against the
// picture is e2e_avsync's, the shape of the anamorphic picture render_widget's.
#include "e2e/E2EHost.h"

#include <gtest/gtest.h>

TEST(E2ERealWorld, EachClipPlaysWholeInTimeToTheLastPicture)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const struct {
        const char *file;
        int64_t durationMs; // as the player should report it; 0 when the file does not say
        int seconds;        // of pictures
        bool sound;
    } clips[] = {
        {"rw_ts.ts", 4000, 4, true},        // starts at 1.4 s
        {"rw_editlist.mp4", 4000, 4, true}, // starts 1 s into the movie
        {"rw_raw.h264", 0, 4, false},       // no time stamps
        {"rw_mp3_22k.mkv", 4000, 4, true},  // 22.05 kHz mono
        {"rw_mulaw_8k.avi", 4000, 4, true}, // 8 kHz mono
        {"rw_live.mkv", 0, 4, true},        // duration unknown
        {"rw_one_frame.mp4", 33, 1, false}, // one picture
        {"rw_anamorphic.mp4", 4000, 4, true}, // 240x240, shown 4:3
    };
    for (const auto &clip : clips) {
        SCOPED_TRACE(clip.file);
        SoundRecorder recorder;
        ASSERT_TRUE(recorder.start()) << recorder.error();
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        ASSERT_TRUE(host.run("volume:100 open:" + std::string(clip.file)));
        EXPECT_NEAR(p->duration(), clip.durationMs, clip.durationMs ? 100 : 0);
        host.run("play");
        const int matched = host.followSeconds(clip.seconds, 30000);
        ASSERT_TRUE(host.run("await:Finished"));
        EXPECT_TRUE(near(host.centreColour(), kSecondColour[clip.seconds - 1]))
            << "at the end the screen shows " << host.centreColour().name().toStdString();
        EXPECT_TRUE(clip.seconds == 1 || matched == clip.seconds) << matched << " seconds seen";
        host.run("wait:600");
        recorder.stop();

        // Sound: 10 ms windows from the first loud one to a quarter second of quiet.
        const std::vector<double> level = recorder.levels();
        size_t first = 0, heard = 0;
        while (first < level.size() && level[first] < 0.02)
            ++first;
        for (size_t w = first, quiet = 0; w < level.size() && quiet < 25; ++w) {
            quiet = level[w] < 0.02 ? quiet + 1 : 0;
            heard += level[w] >= 0.02;
        }
        // How much came out (none from a file without sound), not counting a
        // dropout of the output on a busy machine.
        EXPECT_NEAR(double(heard) / 100, clip.sound ? clip.seconds : 0, 0.05 * clip.seconds);
    }
}
