// The player window: embeds the plug-in's widget and drives an IMediaPlayer2 from
// the GUI thread (menus, buttons, sliders, keys, mouse, drag and drop, status
// line, media information, snapshots). Owns the player; takes its widget out of
// the window before deleting it.
#pragma once

#include "Commands.h"
#include "PluginLoader.h"

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPair>
#include <QRect>
#include <QString>

class IMediaPlayer2;
class QAction;
class QActionGroup;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Takes ownership of player.
    explicit MainWindow(IMediaPlayer2 *player, QWidget *parent = nullptr);
    ~MainWindow() override;

    IMediaPlayer2 *player() const { return mediaPlayer; }
    QWidget *videoWidget() const { return video; }

    // Loads path; with autoPlay playback starts once it is loaded.
    void openFile(const QString &path, bool autoPlay);

    // Whether a failed load also opens a message box (the status line always says it).
    void setErrorDialogs(bool enabled) { errorDialogs = enabled; }

    // Where the player came from, for the media information and About boxes.
    void setPluginInfo(const QString &file, PluginLoader::Factory factory);

    // Folder of saved snapshots; the user's Pictures folder unless set.
    void setSnapshotDirectory(const QString &directory) { snapshotDirectory = directory; }

    // The pixels the video widget shows now.
    QImage grabVideo() const;

    // The action of a command: its shortcut works also while the menus are hidden.
    QAction *action(Command command) const;

    bool isMuted() const { return muted; }

    // Label and value of each line of the media-information dialog.
    QList<QPair<QString, QString>> mediaInfoRows() const;

    QString statusText() const;
    QString positionText() const;
    QString durationText() const;

public slots:
    void openDialog();
    void togglePlayPause();
    void stop();
    void seekBy(int64_t deltaMs);
    void setRenderMode(int code);
    void setVolume(float volume);
    void changeVolume(int deltaPercent); // unmutes
    void toggleMute();
    void toggleFullScreen();
    void leaveFullScreen();
    void showMediaInfo();
    // Saves the picture as PNG; returns the file's path, or an empty string
    // (with the reason on the status line) when nothing could be saved.
    QString saveSnapshot();
    void showAbout();

signals:
    // Every plug-in event, after the window has taken it into account.
    void playerEvent(int code);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Double-click and (in the flat mode) the wheel on the video widget.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPlayerEvent(int code);
    void buildMenus();
    void runCommand(Command command);
    void setVolumePercent(int percent);
    void updateVolumeControls();
    QWidget *buildControls();
    void seekToSlider();
    void updatePosition();
    void updateStatus();
    void updateButtons();
    void showLoadFailure();

    IMediaPlayer2 *mediaPlayer;
    QWidget *video;
    QWidget *controls = nullptr;
    QPushButton *playButton = nullptr;
    QPushButton *stopButton = nullptr;
    QSlider *seekSlider = nullptr;
    QSlider *volumeSlider = nullptr;
    QPushButton *muteButton = nullptr;
    QLabel *positionLabel = nullptr;
    QLabel *durationLabel = nullptr;
    QLabel *statusLabel = nullptr;
    QActionGroup *modeGroup = nullptr;
    QTimer *statusTimer = nullptr;
    QMap<Command, QAction *> actions;

    bool autoPlayOnLoad = false;
    bool errorDialogs = true;
    bool closing = false; // set in the destructor: events then touch nothing
    int lastEvent = -1;
    int lastStateEvent = -1; // the last event other than EventTimeChanged
    bool muted = false;
    int volumeBeforeMute = 100; // percent
    QString pluginFile;
    PluginLoader::Factory factory = PluginLoader::Factory::Sw;
    QString snapshotDirectory;
    QRect geometryBeforeFullScreen;
    int wheelRemainder = 0; // angle delta not yet turned into a volume step
};
