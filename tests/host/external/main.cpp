// Links PlayerLibAV directly, creates a software player, checks what a fresh
// player and a failed load report, and deletes the player. Exit status 0 on success.
#include <IMediaPlayer2.h>

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <vector>

static int failures = 0;

static void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    {
        QWidget window;
        IMediaPlayer2 *player = CreateSw();
        check(player != nullptr, "CreateSw returns a player");
        if (!player)
            return 1;
        std::vector<int> events;
        player->addListener([&events](int code) { events.push_back(code); });

        player->widget()->setParent(&window);
        check(player->widget() != nullptr, "widget() is there");
        check(!player->isPlaying() && player->isPaused() && player->isStopped(), "a new player is not playing");
        check(player->duration() == 0 && player->videoWidth() == 0 && player->videoHeight() == 0,
              "nothing is open");
        check(player->renderMode() == RenderModeNormal, "CreateSw starts in the normal mode");
        check(player->filePath().isEmpty(), "no file path yet");

        const QString missing = QStringLiteral("/nonexistent/external-host.mp4");
        player->load(missing);
        check(!events.empty() && events.back() == EventLoadFailed, "a missing file raises EventLoadFailed");
        check(player->filePath() == missing, "filePath keeps the failed path");

        player->widget()->setParent(nullptr);
        delete player;
    }
    std::printf("%s\n", failures ? "external host: FAILED" : "external host: ok");
    return failures ? 1 : 0;
}
