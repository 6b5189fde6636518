// Files as people have them: start offsets, edit lists, elementary streams
// without time stamps, low sample rates, unknown durations, a single picture,
// anamorphic pictures. Each rw_* clip shows red, lime, blue, yellow for one
// second each (the first colours of seconds.mp4) with a tone per second, so
// the screen and the recorded sound tell where playback is.
#include "common/SoundRecorder.h"
#include "e2e/E2EHost.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

struct Clip {
    const char *file;
    int64_t durationMs; // as the player should report it; 0 when the file does not say
    int seconds;        // of pictures
    bool sound;
};

class E2ERealWorld : public ::testing::TestWithParam<Clip> {};

TEST_P(E2ERealWorld, PlaysWholeInTimeToTheLastPicture)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const Clip clip = GetParam();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();
    E2EHost host;
    const qint64 recordingStartUs = host.nowUs();
    IMediaPlayer2 *p = host.player();
    ASSERT_TRUE(host.run("volume:100 open:" + std::string(clip.file)));
    EXPECT_NEAR(p->duration(), clip.durationMs, clip.durationMs ? 100 : 0);

    host.run("play");
    qint64 firstPictureUs = -1;
    const int matched = host.followSeconds(clip.seconds, 30000, &firstPictureUs);
    ASSERT_TRUE(host.run("await:Finished"));
    EXPECT_TRUE(near(host.centreColour(), kSecondColour[clip.seconds - 1]))
        << "at the end the screen shows " << host.centreColour().name().toStdString();
    EXPECT_TRUE(clip.seconds == 1 || matched == clip.seconds) << matched << " seconds seen";
    host.run("wait:600");
    recorder.stop();

    if (clip.sound) {
        const double start = recorder.soundStart(), end = recorder.soundEnd(start);
        ASSERT_TRUE(start >= 0 && end > start) << "sound from " << start << " to " << end;
        // How much sound came out, not counting a dropout of the output on a busy machine.
        EXPECT_NEAR(recorder.soundDuration(start, end), clip.seconds, 0.05 * clip.seconds)
            << "sound from " << start << " to " << end;
        ASSERT_GE(firstPictureUs, 0);
        const double pictureAt = (firstPictureUs - recordingStartUs) / 1e6;
        EXPECT_NEAR(start, pictureAt, 0.7) << "sound starts at " << start << " s, picture at " << pictureAt << " s";
    } else {
        EXPECT_LT(recorder.soundStart(), 0.0);
    }

    // After the end, playing again starts from the first second.
    host.run("play");
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(host.centreColour(), kSecondColour[0]); }, 5000));
    p->stop();
}

INSTANTIATE_TEST_SUITE_P(Clips, E2ERealWorld,
                         ::testing::Values(Clip{"rw_ts.ts", 4000, 4, true},            // starts at 1.4 s
                                           Clip{"rw_editlist.mp4", 4000, 4, true},     // starts 1 s into the movie
                                           Clip{"rw_raw.h264", 0, 4, false},           // no time stamps
                                           Clip{"rw_mp3_22k.mkv", 4000, 4, true},      // 22.05 kHz mono
                                           Clip{"rw_mulaw_8k.avi", 4000, 4, true},     // 8 kHz mono
                                           Clip{"rw_live.mkv", 0, 4, true},            // duration unknown
                                           Clip{"rw_one_frame.mp4", 33, 1, false},     // one picture
                                           Clip{"rw_anamorphic.mp4", 4000, 4, true}),  // 240x240, shown 4:3
                         [](const ::testing::TestParamInfo<Clip> &info) {
                             std::string name = info.param.file;
                             std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

// A 4:3 picture in a widget resized to 16:9: 360x270 in the middle, bars left
// and right, and the square as a square, whether the file stores it square or
// anamorphic.
TEST(E2EAspect, FourThreeInSixteenNineKeepsItsShape)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    for (const char *file : {"square_43.mp4", "square_anamorphic.mp4"}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(host.run("open:" + std::string(file) + " play until:300 pause"));
        host.window()->resize(480, 270); // after the first picture: the resize must repaint
        // The repaint after a resize reaches the screen in its own time.
        QImage image;
        QRect square;
        (void)QTest::qWaitFor(
            [&] {
                image = host.grabWidget();
                square = QRect();
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x)
                        if (near(image.pixelColor(x, y), Qt::white, 55))
                            square |= QRect(x, y, 1, 1);
                return image.size() == QSize(480, 270) && std::abs(square.width() - 135) <= 4;
            },
            5000);
        ASSERT_EQ(image.size(), QSize(480, 270));
        for (int x : {2, 55, 425, 477})
            EXPECT_TRUE(near(image.pixelColor(x, 135), Qt::black, 39)) << "bar at x " << x;
        for (int x : {66, 414})
            EXPECT_TRUE(near(image.pixelColor(x, 135), Qt::blue)) << "picture at x " << x;
        // 120x120 of 320x240 shown at 360x270: 135 pixels on a side.
        EXPECT_NEAR(square.width(), 135, 4);
        EXPECT_NEAR(square.height(), 135, 4);
        EXPECT_NEAR(square.center().x(), 240, 3);
        host.window()->resize(320, 240);
    }
}

} // namespace
