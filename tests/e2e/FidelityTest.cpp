// From the screen: turned pictures as ffmpeg turns them, 75 % bars of each
// matrix and range within 8 codes, HDR10 to neutral greys and saturated colours.
#include "e2e/E2EHost.h"

namespace {

enum Check { Turned, Bars, Hdr };

const struct {
    const char *file;
    Check check;
} kCases[] = {
    {"fid_rot90.mp4", Turned},  {"fid_rot180.mp4", Turned},     {"fid_rot270.mp4", Turned},
    {"fid_bt601.mp4", Bars},    {"fid_bt709.mp4", Bars},        {"fid_bt709_yuvj.mp4", Bars},
    {"fid_bt709_pc.webm", Bars}, {"fid_bt2020.mp4", Bars},      {"fid_untagged.mp4", Bars},
    {"fid_untagged_720p.mp4", Bars}, {"fid_hdr10.mp4", Hdr},
};

// The 75 % bars of smptebars, left to right: white, yellow, cyan, green, magenta, red, blue.
const int kBars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                         {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};

} // namespace

TEST(E2EFidelity, PicturesShowAsTheirFilesMeanThem)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(host.run(std::string("open:") + c.file + " play"));
        // Every clip shows colour at the centre once its first picture is up.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !near(host.centreColour(), QColor(0, 0, 0), 10); }, 5000));
        ASSERT_TRUE(host.run("wait:200 pause wait:200"));
        const QImage screen = host.grabWidget();
        // ffmpeg's turned frame of fid_rotN.mp4 is fid_rotN.png.
        const QImage reference = c.check == Turned ? QImage(QString(mediaPath(c.file).c_str()).replace(".mp4", ".png"))
                                                   : QImage();
        ASSERT_TRUE(c.check != Turned || !reference.isNull());
        const QSize size = screen.size();
        const QSize fitted = c.check == Turned ? reference.size().scaled(size, Qt::KeepAspectRatio) : size;
        const QRect box(QPoint((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2), fitted);
        const auto at = [&](double fx, double fy) {
            return screen.pixelColor(box.left() + int(fx * box.width()), box.top() + int(fy * box.height()));
        };

        if (c.check == Turned) {
            for (double fy : {0.25, 0.75})
                for (double fx : {0.25, 0.75}) {
                    const QColor want = reference.pixelColor(int(fx * reference.width()), int(fy * reference.height()));
                    EXPECT_TRUE(near(at(fx, fy), want, 24))
                        << "quadrant " << fx << "," << fy << ": " << at(fx, fy).name().toStdString() << " vs "
                        << want.name().toStdString();
                }
        } else if (c.check == Bars) {
            for (int i = 0; i < 7; ++i) {
                const QColor want(kBars[i][0], kBars[i][1], kBars[i][2]);
                EXPECT_TRUE(near(at((i + 0.5) / 7, 0.3), want, 8))
                    << "bar " << i << ": " << at((i + 0.5) / 7, 0.3).name().toStdString();
            }
        } else {
            // White stays neutral and near SDR's 75 % white; red, green and blue stay saturated.
            const QColor white = at(0.5 / 7, 0.3);
            EXPECT_TRUE(near(white, QColor(white.green(), white.green(), white.green()), 6) &&
                        white.green() >= 150 && white.green() <= 235)
                << "white " << white.name().toStdString();
            for (int i : {3, 5, 6}) {
                const QColor bar = at((i + 0.5) / 7, 0.3);
                const int channel[3] = {bar.red(), bar.green(), bar.blue()};
                for (int k = 0; k < 3; ++k)
                    EXPECT_TRUE(kBars[i][k] ? channel[k] >= 150 : channel[k] <= 25)
                        << "bar " << i << ": " << bar.name().toStdString();
            }
        }
    }
}
