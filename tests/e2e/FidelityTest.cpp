// The picture as its file means it, read back from the screen: turned
// pictures against ffmpeg's own turned frame, 75 % bars of each matrix and
// range within 8 codes of the source colours, HDR10 tone-mapped to neutral
// greys and saturated colours, and interlaced stripes without combing.
#include "e2e/E2EHost.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

enum Check { Turned, Bars, Hdr, Combing };

struct Case {
    const char *file;
    Check check;
    const char *reference; // ffmpeg's picture to compare with, when there is one
};

// The picture's shape at each size is render_widget's. Here the turned ones
// sit as their reference does; the others fill the width, and the bars are
// read at 0.3 of the height, inside the 16:9 picture's bars too.
const Case kCases[] = {
    {"fid_rot90.mp4", Turned, "fid_rot90.png"},     {"fid_rot180.mp4", Turned, "fid_rot180.png"},
    {"fid_rot270.mp4", Turned, "fid_rot270.png"},   {"fid_bt601.mp4", Bars, nullptr},
    {"fid_bt709.mp4", Bars, nullptr},               {"fid_bt709_yuvj.mp4", Bars, nullptr},
    {"fid_bt709_pc.webm", Bars, nullptr},           {"fid_bt2020.mp4", Bars, nullptr},
    {"fid_untagged.mp4", Bars, nullptr},            {"fid_untagged_720p.mp4", Bars, nullptr},
    {"fid_hdr10.mp4", Hdr, nullptr},                {"fid_interlaced.ts", Combing, "fid_interlaced_bwdif.png"},
};

// The 75 % bars of smptebars, left to right: white, yellow, cyan, green, magenta, red, blue.
const int kBars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                         {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};

// Mean difference of each row's green from the mean of its neighbours: high
// where the two fields of a moving picture disagree.
double combing(const QImage &image, QRect box)
{
    double sum = 0;
    int n = 0;
    for (int y = box.top() + 1; y < box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); x += 2) {
            const auto g = [&](int row) { return qGreen(image.pixel(x, row)); };
            sum += std::abs(g(y) - (g(y - 1) + g(y + 1)) / 2.0);
            ++n;
        }
    return n ? sum / n : 0;
}

} // namespace

TEST(E2EFidelity, PicturesShowAsTheirFilesMeanThem)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(host.run(std::string("open:") + c.file + " play"));
        // Every clip shows colour at the centre once its first picture is up.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !near(host.centreColour(), QColor(0, 0, 0), 10); }, 5000));
        ASSERT_TRUE(host.run("wait:200 pause wait:200"));
        const QImage screen = host.grabWidget();
        const QImage reference = c.reference ? QImage(QString::fromStdString(mediaPath(c.reference))) : QImage();
        ASSERT_TRUE(!c.reference || !reference.isNull());
        const QSize size = screen.size();
        const QSize fitted = c.check == Turned ? reference.size().scaled(size, Qt::KeepAspectRatio) : size;
        const QRect box(QPoint((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2), fitted);
        const auto at = [&](double fx, double fy) {
            return screen.pixelColor(box.left() + int(fx * box.width()), box.top() + int(fy * box.height()));
        };

        switch (c.check) {
        case Turned:
            for (double fy : {0.25, 0.75})
                for (double fx : {0.25, 0.75}) {
                    const QColor want = reference.pixelColor(int(fx * reference.width()), int(fy * reference.height()));
                    EXPECT_TRUE(near(at(fx, fy), want, 24))
                        << "quadrant " << fx << "," << fy << ": " << at(fx, fy).name().toStdString() << " vs "
                        << want.name().toStdString();
                }
            break;
        case Bars:
            for (int i = 0; i < 7; ++i) {
                const QColor want(kBars[i][0], kBars[i][1], kBars[i][2]);
                EXPECT_TRUE(near(at((i + 0.5) / 7, 0.3), want, 8))
                    << "bar " << i << ": " << at((i + 0.5) / 7, 0.3).name().toStdString();
            }
            break;
        case Hdr: {
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
            break;
        }
        case Combing:
            EXPECT_LT(combing(screen, box), combing(reference, reference.rect()) + 10);
            break;
        }
    }
}
