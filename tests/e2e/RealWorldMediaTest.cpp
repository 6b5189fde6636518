// Files as people have them: start offsets, edit lists, elementary streams
// without time stamps, low sample rates, unknown durations, a single picture,
// anamorphic pictures. Each rw_* clip shows red, lime, blue, yellow for one
// second each with a tone per second, so the screen and the recorded sound
// tell where playback is.
#include "common/SoundRecorder.h"
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

const QColor kSecondColour[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255), QColor(255, 255, 0)};

QString describe(const QColor &c)
{
    return QString("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

bool isBlack(const QColor &c)
{
    return c.red() < 40 && c.green() < 40 && c.blue() < 40;
}

struct Clip {
    const char *file;
    int64_t durationMs; // as the player should report it; 0 when the file does not say
    int seconds;        // of pictures
    bool sound;
};

class E2ERealWorld : public ::testing::TestWithParam<Clip> {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
    }
};

TEST_P(E2ERealWorld, PlaysWholeInTimeToTheLastPicture)
{
    const Clip clip = GetParam();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();
    E2EHost host;
    const qint64 recordingStartUs = host.nowUs();
    IMediaPlayer2 *p = host.player();
    p->setVolume(1.0f);
    ASSERT_EQ(host.loadAndWait(mediaPath(clip.file)), EventLoaded);
    if (clip.durationMs == 0)
        EXPECT_EQ(p->duration(), 0);
    else
        EXPECT_NEAR(p->duration(), clip.durationMs, 100);

    // Mid-second samples of the screen: each must show that second's colour
    // (the previous second's is tolerated on a busy machine, nothing else).
    const size_t mark = host.events().size();
    p->play();
    qint64 firstPictureUs = -1;
    std::set<uint64_t> matched;
    const bool finished = waitFor(
        [&] {
            for (size_t i = mark; i < host.events().size(); ++i)
                if (host.events()[i].code == EventFinished)
                    return true;
            const uint64_t t = p->currentTime(), second = t / 1000, inSecond = t % 1000;
            const bool sample = firstPictureUs < 0 || (inSecond >= 300 && inSecond <= 700 && !matched.count(second));
            if (!sample || second >= uint64_t(clip.seconds))
                return false;
            const qint64 grabbedUs = host.nowUs();
            const QColor c = host.centreColour();
            if (firstPictureUs < 0 && !isBlack(c))
                firstPictureUs = grabbedUs;
            if (inSecond < 300 || inSecond > 700 || p->currentTime() / 1000 != second)
                return false;
            if (near(c, kSecondColour[second])) {
                matched.insert(second);
            } else {
                EXPECT_TRUE(second > 0 && near(c, kSecondColour[second - 1]))
                    << "second " << second << " shows " << describe(c).toStdString();
            }
            return false;
        },
        30000);
    ASSERT_TRUE(finished) << "no EventFinished";
    const QColor atEnd = host.centreColour();
    EXPECT_TRUE(near(atEnd, kSecondColour[clip.seconds - 1]))
        << "at the end the screen shows " << describe(atEnd).toStdString();
    if (clip.seconds > 1) {
        EXPECT_EQ(int(matched.size()), clip.seconds);
    }
    pump(600);
    recorder.stop();

    if (clip.sound) {
        const double start = recorder.soundStart(), end = recorder.soundEnd(start);
        ASSERT_GE(start, 0.0) << "no sound";
        ASSERT_GT(end, start);
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
    p->play();
    EXPECT_TRUE(waitFor([&] { return near(host.centreColour(), kSecondColour[0]); }, 5000));
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
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// Bounding box of the white pixels of an image.
QRect whiteBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() > 200)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

// A 4:3 picture in a 16:9 widget: 360x270 in the middle, bars left and right,
// and the square as a square, whether the file stores it square or anamorphic.
TEST(E2EAspect, FourThreeInSixteenNineKeepsItsShape)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh";
    E2EHost host("CreateSw", true, QSize(480, 270));
    for (const char *file : {"square_43.mp4", "square_anamorphic.mp4"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(host.loadAndWait(mediaPath(file)), EventLoaded);
        host.player()->play();
        ASSERT_TRUE(waitFor([&] { return host.player()->currentTime() >= 300; }, 5000));
        host.player()->pause();
        pump(300);
        const QImage image = host.grabWidget();
        ASSERT_EQ(image.size(), QSize(480, 270));
        for (int x : {2, 55, 425, 477})
            EXPECT_TRUE(isBlack(image.pixelColor(x, 135))) << "bar at x " << x;
        for (int x : {66, 414})
            EXPECT_TRUE(near(image.pixelColor(x, 135), QColor(0, 0, 255))) << "picture at x " << x;
        // 120x120 of 320x240 shown at 360x270: 135 pixels on a side.
        const QRect square = whiteBox(image);
        EXPECT_NEAR(square.width(), 135, 4);
        EXPECT_NEAR(square.height(), 135, 4);
        EXPECT_NEAR(square.center().x(), 240, 3);
    }
}

// A picture wider than the player takes fails to load; the player still works.
TEST(E2ELimits, OversizedPictureFailsToLoad)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh";
    E2EHost host;
    EXPECT_EQ(host.loadAndWait(mediaPath("wide_17000.mkv")), EventLoadFailed);
    EXPECT_EQ(host.player()->duration(), 0);
    EXPECT_EQ(host.loadAndWait(mediaPath("rw_one_frame.mp4")), EventLoaded);
}

} // namespace
