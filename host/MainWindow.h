// The player window: embeds the plug-in's widget and drives an IMediaPlayer2 from
// the GUI thread (menus, buttons, sliders, keys, drag and drop, status line).
// Owns the player; takes its widget out of the window before deleting it.
#pragma once

#include <QMainWindow>
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

    // The pixels the video widget shows now.
    QImage grabVideo() const;

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
    void toggleFullScreen();
    void leaveFullScreen();

signals:
    // Every plug-in event, after the window has taken it into account.
    void playerEvent(int code);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void onPlayerEvent(int code);
    void buildMenus();
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
    QLabel *positionLabel = nullptr;
    QLabel *durationLabel = nullptr;
    QLabel *statusLabel = nullptr;
    QActionGroup *modeGroup = nullptr;
    QTimer *statusTimer = nullptr;

    bool autoPlayOnLoad = false;
    bool errorDialogs = true;
    bool closing = false; // set in the destructor: events then touch nothing
    int lastEvent = -1;
};
