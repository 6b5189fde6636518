// Files as people have them: each rw_* clip shows seconds.mp4's colours with a
// tone a second; the others play and seek the tracks their files mean.
#include "e2e/E2EHost.h"

#include <cmath>

TEST(E2ERealWorld, EachFilePlaysWholeInTimeWithTheTracksItMeans)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const struct {
        const char *file;
        int64_t durationMs; // as the player should report it; 0 when the file does not say
        int seconds;        // of seconds.mp4's pictures; 0: one picture, and a seek from 1 s to 2.5 s
        bool sound;
        double hz = 0;      // the sound track's one tone
        QColor centre = {}; // the one picture, when checked
    } clips[] = {
        {"rw_ts.ts", 4000, 4, true},        // starts at 1.4 s
        {"rw_reset.ts", 2023, 4, true},     // two recordings joined, both from 1.4 s: says 2 s
        {"rw_editlist.mp4", 4000, 4, true}, // starts 1 s into the movie
        {"rw_raw.h264", 0, 4, false},       // no time stamps
        {"rw_mp3_22k.mkv", 4000, 4, true},  // 22.05 kHz mono
        {"rw_mulaw_8k.avi", 4000, 4, true}, // 8 kHz mono
        {"rw_live.mkv", 0, 4, true},        // duration unknown
        {"rw_one_frame.mp4", 33, 1, false}, // one picture
        {"rw_anamorphic.mp4", 4000, 4, true}, // 240x240, shown 4:3
        {"two_tracks.mkv", 4000, 0, true, 880}, // the picture is testsrc2: not checked
        {"music_cover.mp3", 4000, 0, true, 440, QColor(255, 165, 0)},
        {"audio_only.m4a", 4000, 0, true, 440, QColor(0, 0, 0)},
    };
    for (const auto &clip : clips) {
        SCOPED_TRACE(clip.file);
        SoundRecorder recorder;
        ASSERT_TRUE(recorder.start()) << recorder.error();
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        ASSERT_TRUE(host.run("volume:100 open:" + std::string(clip.file)));
        EXPECT_NEAR(p->duration(), clip.durationMs, clip.durationMs ? 100 : 0);
        if (clip.seconds) {
            host.run("play");
            const int matched = host.followSeconds(clip.seconds, 30000);
            ASSERT_TRUE(host.run("await:Finished"));
            // The last picture stays (a busy machine may paint it after Finished has come).
            EXPECT_TRUE(QTest::qWaitFor([&] { return near(host.centreColour(), kSecondColour[clip.seconds - 1]); }, 3000))
                << "at the end the screen shows " << host.centreColour().name().toStdString();
            EXPECT_TRUE(clip.seconds == 1 || matched == clip.seconds) << matched << " seconds seen";
        } else {
            const auto shown = [&] { return !clip.centre.isValid() || near(host.centreColour(), clip.centre, 30); };
            ASSERT_TRUE(host.run("play until:1000"));
            EXPECT_TRUE(QTest::qWaitFor(shown, 3000)) << host.centreColour().name().toStdString();
            ASSERT_TRUE(host.run("seek:2500 await:Playing until:3000"));
            EXPECT_TRUE(shown()) << host.centreColour().name().toStdString();
            ASSERT_TRUE(host.run("await:Finished"));
            EXPECT_EQ(p->currentTime(), uint64_t(p->duration()));
        }
        host.run("wait:600");
        recorder.stop();
        if (clip.hz > 0) {
            int heard = 0, right = 0;
            for (double hz : recorder.frequencyOverTime(0.1)) {
                heard += hz > 0;
                right += std::fabs(hz - clip.hz) < 0.05 * clip.hz;
            }
            EXPECT_GE(heard, 20) << "about 2.5 s of the 4 s were played";
            // All but the windows cut by the start, the seek or the end.
            EXPECT_GE(right, heard - 4) << "the tone of the track that should play";
            continue;
        }

        // Sound heard: 10 ms windows from the first loud one to 250 ms of quiet.
        const std::vector<double> level = recorder.levels();
        size_t heard = 0;
        for (size_t w = 0, quiet = 0; w < level.size() && quiet < 25; ++w) {
            quiet = heard && level[w] < 0.02 ? quiet + 1 : 0;
            heard += level[w] >= 0.02;
        }
        EXPECT_NEAR(double(heard) / 100, clip.sound ? clip.seconds : 0, 0.05 * clip.seconds);
    }
}
