// minimal-host: the smallest application that embeds PlayerLibAV. It plays the
// file named on its command line in a window of its own and quits at the end.
//   minimal-host FILE    exit status 0 played to the end, 1 could not open FILE
#include <IMediaPlayer2.h>

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: minimal-host FILE\n");
        return 2;
    }
    std::printf("PlayerLibAV %s\n", PLAYERLIBAV_VERSION_STRING);

    QMainWindow window;
    IMediaPlayer2 *player = CreateSw();        // or CreateHw(), CreateHwVr()
    window.setCentralWidget(player->widget()); // the player keeps owning its widget
    player->setVolume(1.0f);                   // a new player is silent until a volume is set

    int status = 0;
    player->addListener([player, &status](int event) {
        switch (event) {
        case EventLoaded:
            // This callback runs inside load(): start playing once load() has returned.
            QTimer::singleShot(0, [player] { player->play(); });
            break;
        case EventLoadFailed:
            std::fprintf(stderr, "cannot open %s\n", qPrintable(player->filePath()));
            status = 1;
            QTimer::singleShot(0, &QCoreApplication::quit); // once the event loop runs
            break;
        case EventFinished: // sent twice; quitting twice does no harm
            std::printf("finished at %llu of %lld ms\n", static_cast<unsigned long long>(player->currentTime()),
                        static_cast<long long>(player->duration()));
            QCoreApplication::quit();
            break;
        default:
            break;
        }
    });
    player->load(QString::fromLocal8Bit(argv[1]));

    window.resize(960, 540);
    window.show();
    const int loopStatus = app.exec();

    player->widget()->setParent(nullptr); // take the widget out before the window goes
    delete player;                        // deletes the widget too
    return status != 0 ? status : loopStatus;
}
