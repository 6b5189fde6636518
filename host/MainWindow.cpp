#include "MainWindow.h"

#include "Formatting.h"
#include "IMediaPlayer2.h"
#include "MediaProbe.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGLWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

extern "C" {
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <climits>

namespace {

constexpr int kStatusIntervalMs = 500;
constexpr int kKeyVolumeStep = 10;   // percent per key press
constexpr int kWheelVolumeStep = 5;  // percent per wheel notch
constexpr int kWheelNotch = 120;     // angle delta of one notch

int sliderValue(int64_t ms)
{
    return static_cast<int>(std::clamp<int64_t>(ms, 0, INT_MAX));
}

} // namespace

MainWindow::MainWindow(IMediaPlayer2 *player, QWidget *parent)
    : QMainWindow(parent), mediaPlayer(player), video(player->widget())
{
    setWindowTitle(QStringLiteral("player-host"));
    setAcceptDrops(true);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    video->setMinimumSize(320, 180);
    video->installEventFilter(this);
    layout->addWidget(video, 1);
    controls = buildControls();
    layout->addWidget(controls);
    setCentralWidget(central);

    statusLabel = new QLabel(this);
    statusBar()->addWidget(statusLabel, 1);
    buildMenus();

    // Callbacks run on this (the GUI) thread, some of them inside our own calls
    // into the player, so the handler must not call back into load() or delete.
    mediaPlayer->addListener([this](int code) { onPlayerEvent(code); });

    statusTimer = new QTimer(this);
    connect(statusTimer, &QTimer::timeout, this, &MainWindow::updateStatus);
    statusTimer->start(kStatusIntervalMs);

    // A new player's sound output stays at volume 0 until its host sets one.
    setVolumePercent(100);
    updateButtons();
    updatePosition();
    updateStatus();
}

MainWindow::~MainWindow()
{
    closing = true;
    statusTimer->stop();
    // The widget belongs to the player: take it out of the window before the window
    // deletes its children, then let the player delete it.
    video->setParent(nullptr);
    delete mediaPlayer;
    mediaPlayer = nullptr;
}

QWidget *MainWindow::buildControls()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);

    playButton = new QPushButton(tr("Play"), bar);
    stopButton = new QPushButton(tr("Stop"), bar);
    positionLabel = new QLabel(bar);
    seekSlider = new QSlider(Qt::Horizontal, bar);
    durationLabel = new QLabel(bar);
    auto *volumeLabel = new QLabel(tr("Volume"), bar);
    volumeSlider = new QSlider(Qt::Horizontal, bar);
    volumeSlider->setRange(0, 100);
    volumeSlider->setMaximumWidth(120);
    muteButton = new QPushButton(tr("Mute"), bar);
    muteButton->setCheckable(true);

    // Keys belong to the window's shortcuts (Space, arrows), not to a focused control.
    for (QWidget *w : std::initializer_list<QWidget *>{playButton, stopButton, seekSlider, volumeSlider, muteButton})
        w->setFocusPolicy(Qt::NoFocus);

    connect(playButton, &QPushButton::clicked, this, &MainWindow::togglePlayPause);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::stop);
    connect(seekSlider, &QSlider::sliderReleased, this, &MainWindow::seekToSlider);
    // A click on the groove moves by a page without a press on the handle.
    connect(seekSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            QTimer::singleShot(0, this, &MainWindow::seekToSlider);
    });
    connect(volumeSlider, &QSlider::valueChanged, this, &MainWindow::setVolumePercent);
    connect(muteButton, &QPushButton::clicked, this, &MainWindow::toggleMute);

    row->addWidget(playButton);
    row->addWidget(stopButton);
    row->addWidget(positionLabel);
    row->addWidget(seekSlider, 1);
    row->addWidget(durationLabel);
    row->addSpacing(12);
    row->addWidget(volumeLabel);
    row->addWidget(volumeSlider);
    row->addWidget(muteButton);
    return bar;
}

void MainWindow::buildMenus()
{
    // Every action is also added to the window itself so that its shortcut works
    // while the menu bar is hidden in full screen.
    for (const CommandInfo &info : commands()) {
        auto *action = new QAction(info.menuText, this);
        action->setShortcut(info.key);
        const Command command = info.command;
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
        addAction(action);
        actions.insert(command, action);
    }
    auto add = [this](QMenu *menu, std::initializer_list<Command> list) {
        for (Command command : list)
            menu->addAction(actions.value(command));
    };

    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, {Command::Open, Command::Snapshot, Command::MediaInfo});
    file->addSeparator();
    add(file, {Command::Quit});

    QMenu *playback = menuBar()->addMenu(tr("&Playback"));
    add(playback, {Command::PlayPause, Command::Stop, Command::Back, Command::Forward});
    playback->addSeparator();
    add(playback, {Command::VolumeUp, Command::VolumeDown, Command::Mute});
    actions.value(Command::Mute)->setCheckable(true);

    // Only the modes that show a picture; the plug-in's modes 1 and 2 draw nothing.
    QMenu *view = menuBar()->addMenu(tr("&View"));
    QMenu *modes = view->addMenu(tr("&Render mode"));
    modeGroup = new QActionGroup(this);
    for (int code : {int(RenderModeNormal), int(RenderModeVR)}) {
        QAction *action = modes->addAction(renderModeName(code));
        action->setCheckable(true);
        action->setData(code);
        action->setChecked(code == mediaPlayer->renderMode());
        modeGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, code] { setRenderMode(code); });
    }
    add(view, {Command::FullScreen});

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, {Command::About});
}

QAction *MainWindow::action(Command command) const
{
    return actions.value(command);
}

void MainWindow::runCommand(Command command)
{
    switch (command) {
    case Command::Open: openDialog(); break;
    case Command::Quit: close(); break;
    case Command::PlayPause: togglePlayPause(); break;
    case Command::Stop: stop(); break;
    case Command::Back: seekBy(-5000); break;
    case Command::Forward: seekBy(5000); break;
    case Command::VolumeUp: changeVolume(kKeyVolumeStep); break;
    case Command::VolumeDown: changeVolume(-kKeyVolumeStep); break;
    case Command::Mute: toggleMute(); break;
    case Command::FullScreen: toggleFullScreen(); break;
    case Command::LeaveFullScreen: leaveFullScreen(); break;
    case Command::MediaInfo: showMediaInfo(); break;
    case Command::Snapshot: saveSnapshot(); break;
    case Command::About: showAbout(); break;
    }
}

void MainWindow::setPluginInfo(const QString &file, PluginLoader::Factory fromFactory)
{
    pluginFile = file;
    factory = fromFactory;
}

void MainWindow::openFile(const QString &path, bool autoPlay)
{
    autoPlayOnLoad = autoPlay;
    statusBar()->showMessage(tr("Opening %1").arg(path), 2000);
    mediaPlayer->load(path);
}

void MainWindow::openDialog()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open video"), QFileInfo(mediaPlayer->filePath()).absolutePath(),
        tr("Videos (*.mp4 *.mkv *.webm *.avi *.mov *.ts *.m4v *.nut);;All files (*)"));
    if (!path.isEmpty())
        openFile(path, true);
}

void MainWindow::togglePlayPause()
{
    if (mediaPlayer->isPlaying())
        mediaPlayer->pause();
    else if (mediaPlayer->duration() > 0)
        mediaPlayer->play();
}

void MainWindow::stop()
{
    mediaPlayer->stop();
}

void MainWindow::seekBy(int64_t deltaMs)
{
    const int64_t duration = mediaPlayer->duration();
    if (duration <= 0)
        return;
    const int64_t target = std::clamp<int64_t>(static_cast<int64_t>(mediaPlayer->currentTime()) + deltaMs, 0, duration);
    mediaPlayer->setCurrentTime(static_cast<uint64_t>(target));
    updatePosition();
}

void MainWindow::seekToSlider()
{
    if (mediaPlayer->duration() > 0)
        mediaPlayer->setCurrentTime(static_cast<uint64_t>(seekSlider->sliderPosition()));
}

void MainWindow::setRenderMode(int code)
{
    mediaPlayer->setRenderMode(code);
    const int now = mediaPlayer->renderMode();
    for (QAction *action : modeGroup->actions())
        action->setChecked(action->data().toInt() == now);
}

void MainWindow::setVolume(float volume)
{
    setVolumePercent(qRound(std::clamp(volume, 0.0f, 1.0f) * 100));
}

void MainWindow::setVolumePercent(int percent)
{
    percent = std::clamp(percent, 0, 100);
    muted = false;
    // The player truncates volume x 100: aim at the middle of the percent step.
    mediaPlayer->setVolume((static_cast<float>(percent) + 0.5f) / 100.0f);
    updateVolumeControls();
}

void MainWindow::changeVolume(int deltaPercent)
{
    setVolumePercent((muted ? volumeBeforeMute : qRound(mediaPlayer->volume() * 100)) + deltaPercent);
}

void MainWindow::toggleMute()
{
    if (muted) {
        setVolumePercent(volumeBeforeMute);
        return;
    }
    volumeBeforeMute = qRound(mediaPlayer->volume() * 100);
    mediaPlayer->setVolume(0.0f);
    muted = true;
    updateVolumeControls();
}

void MainWindow::updateVolumeControls()
{
    const QSignalBlocker blocker(volumeSlider);
    volumeSlider->setValue(muted ? volumeBeforeMute : qRound(mediaPlayer->volume() * 100));
    muteButton->setChecked(muted);
    actions.value(Command::Mute)->setChecked(muted);
}

void MainWindow::toggleFullScreen()
{
    if (isFullScreen()) {
        leaveFullScreen();
        return;
    }
    geometryBeforeFullScreen = geometry();
    menuBar()->hide();
    controls->hide();
    statusBar()->hide();
    showFullScreen();
    // A window manager that honours full-screen requests gives the window the
    // screen's size; without one (a bare X server) only the state changes. Asking
    // the window system for the screen's geometry covers both; QWidget::setGeometry
    // would drop the full-screen state again.
    if (QScreen *onScreen = screen(); onScreen && windowHandle())
        windowHandle()->setGeometry(onScreen->geometry());
}

void MainWindow::leaveFullScreen()
{
    if (!isFullScreen())
        return;
    showNormal();
    menuBar()->show();
    controls->show();
    statusBar()->show();
    // As on the way in, a bare X server does not restore the size by itself.
    if (geometryBeforeFullScreen.isValid() && windowHandle())
        windowHandle()->setGeometry(geometryBeforeFullScreen);

}

QImage MainWindow::grabVideo() const
{
    // A GL widget's pixels live in its framebuffer: read them from there directly
    // rather than rely on how a generic widget grab treats GL content.
    if (auto *gl = qobject_cast<QGLWidget *>(video))
        return gl->grabFrameBuffer();
    return video->grab().toImage();
}

void MainWindow::onPlayerEvent(int code)
{
    if (closing)
        return;
    lastEvent = code;
    if (code != EventTimeChanged)
        lastStateEvent = code;
    switch (code) {
    case EventLoaded:
        seekSlider->setRange(0, sliderValue(mediaPlayer->duration()));
        setWindowTitle(QStringLiteral("%1 - player-host").arg(QFileInfo(mediaPlayer->filePath()).fileName()));
        statusBar()->showMessage(tr("Loaded %1 (%2x%3, %4)")
                                     .arg(mediaPlayer->filePath())
                                     .arg(mediaPlayer->videoWidth())
                                     .arg(mediaPlayer->videoHeight())
                                     .arg(formatTime(mediaPlayer->duration())),
                                 3000);
        if (autoPlayOnLoad) {
            autoPlayOnLoad = false;
            // Not from inside the plug-in's load(): start once it has returned.
            QTimer::singleShot(0, this, [this] {
                if (mediaPlayer && !mediaPlayer->isPlaying())
                    mediaPlayer->play();
            });
        }
        break;
    case EventLoadFailed:
        autoPlayOnLoad = false;
        seekSlider->setRange(0, 0);
        showLoadFailure();
        break;
    default:
        break;
    }
    updatePosition();
    updateButtons();
    emit playerEvent(code);
}

void MainWindow::showLoadFailure()
{
    const QString path = mediaPlayer->filePath();
    const QString message = tr("Cannot play %1: the file could not be opened as a video.").arg(path);
    statusBar()->showMessage(message);
    setWindowTitle(QStringLiteral("player-host"));
    if (!errorDialogs)
        return;
    // open(), not exec(): this runs inside the plug-in's load().
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Cannot open file"), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::updatePosition()
{
    // A joined recording's length grows as it plays.
    const int end = sliderValue(mediaPlayer->duration());
    if (end > seekSlider->maximum())
        seekSlider->setMaximum(end);
    if (!seekSlider->isSliderDown())
        seekSlider->setValue(sliderValue(static_cast<int64_t>(mediaPlayer->currentTime())));
    positionLabel->setText(positionText());
    durationLabel->setText(durationText());
}

void MainWindow::updateButtons()
{
    const bool open = mediaPlayer->duration() > 0;
    playButton->setText(mediaPlayer->isPlaying() ? tr("Pause") : tr("Play"));
    playButton->setEnabled(open);
    stopButton->setEnabled(open);
    seekSlider->setEnabled(open);
}

void MainWindow::updateStatus()
{
    statusLabel->setText(statusText());
}

QString MainWindow::positionText() const
{
    return formatTime(static_cast<int64_t>(mediaPlayer->currentTime()));
}

QString MainWindow::durationText() const
{
    return formatTime(mediaPlayer->duration());
}

QString MainWindow::statusText() const
{
    QString state;
    if (mediaPlayer->isPlaying())
        state = tr("Playing");
    else if (mediaPlayer->duration() <= 0)
        state = lastStateEvent == EventLoadFailed ? tr("Could not open the file") : tr("No file");
    else if (lastStateEvent == EventFinished || lastStateEvent == EventStopped)
        state = lastStateEvent == EventFinished ? tr("Finished") : tr("Stopped");
    else
        state = tr("Paused");

    const PlayerStatistics stats = mediaPlayer->statistics();
    QStringList parts{state};
    parts << (muted ? tr("muted") : tr("volume %1 %").arg(qRound(mediaPlayer->volume() * 100)));
    parts << tr("decoding %1 pictures and %2, painting %3")
                 .arg(stats.videoDecodeRate)
                 .arg(rateText(stats.audioDecodeRate, tr("sound blocks")))
                 .arg(rateText(stats.renderRate, tr("times")));
    parts << tr("last event: %1").arg(lastEvent < 0 ? tr("none") : eventDescription(lastEvent));
    return parts.join(QStringLiteral("  ·  "));
}

QList<QPair<QString, QString>> MainWindow::mediaInfoRows() const
{
    QList<QPair<QString, QString>> rows;
    const QString path = mediaPlayer->filePath();
    if (mediaPlayer->duration() <= 0) {
        rows.append({tr("File"), path.isEmpty() ? tr("none open") : tr("%1 (not open)").arg(path)});
        return rows;
    }
    const MediaInfo info = MediaProbe::probe(path);
    rows.append({tr("File"), path});
    if (!info.error.isEmpty()) {
        rows.append({tr("Details"), info.error});
    } else {
        rows.append({tr("Container"), info.container});
        rows.append({tr("Video codec"), info.videoCodec});
    }
    rows.append({tr("Picture size"), tr("%1 x %2").arg(mediaPlayer->videoWidth()).arg(mediaPlayer->videoHeight())});
    if (info.error.isEmpty())
        rows.append({tr("Frame rate"), info.frameRate > 0 ? tr("%1 frames a second").arg(info.frameRate, 0, 'f', 3)
                                                          : tr("not given by the file")});
    rows.append({tr("Duration"), formatTime(mediaPlayer->duration())});
    if (info.error.isEmpty())
        rows.append({tr("Sound"), info.hasSound ? tr("%1 (played as stereo 32-bit float at 44100 Hz)").arg(info.soundFormat)
                                                : tr("none")});
    rows.append({tr("Decoder"), MediaProbe::decoderInUse(factory, info.videoCodecId)});
    rows.append({tr("Render mode"), renderModeName(mediaPlayer->renderMode())});
    if (!pluginFile.isEmpty())
        rows.append({tr("Plug-in"), QStringLiteral("%1 (%2)").arg(pluginFile, QString::fromLatin1(PluginLoader::symbolName(factory)))});
    return rows;
}

void MainWindow::showMediaInfo()
{
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("mediaInfo"));
    dialog->setWindowTitle(tr("Media information"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *form = new QFormLayout(dialog);
    for (const auto &row : mediaInfoRows()) {
        auto *value = new QLabel(row.second, dialog);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(row.first + QLatin1Char(':'), value);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog->open();
}

QString MainWindow::saveSnapshot()
{
    if (mediaPlayer->duration() <= 0) {
        statusBar()->showMessage(tr("No snapshot: no file is open"), 3000);
        return QString();
    }
    QString directory = snapshotDirectory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (directory.isEmpty())
        directory = QDir::homePath();
    QDir().mkpath(directory);

    // "clip-0m07.250s.png", with a number added rather than overwrite a file.
    const int64_t ms = static_cast<int64_t>(mediaPlayer->currentTime());
    const QString stem = QStringLiteral("%1-%2m%3.%4s")
                             .arg(QFileInfo(mediaPlayer->filePath()).completeBaseName())
                             .arg(ms / 60000)
                             .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'));
    QString path = QDir(directory).filePath(stem + QStringLiteral(".png"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(directory).filePath(QStringLiteral("%1-%2.png").arg(stem).arg(n));

    if (!grabVideo().save(path, "PNG")) {
        statusBar()->showMessage(tr("Could not save the snapshot as %1").arg(path), 5000);
        return QString();
    }
    statusBar()->showMessage(tr("Snapshot saved as %1").arg(path), 5000);
    return path;
}

void MainWindow::showAbout()
{
    const QString text =
        tr("<p><b>player-host %1</b></p>"
           "<p>A video player around the PlayerLibAV plug-in (interface version %1).</p>"
           "<p>Plug-in: %2<br>Qt %3, FFmpeg %4</p>"
           "<p>PlayerLibAV is free software under the GNU Lesser General Public License, "
           "version 2.1 or later. It uses FFmpeg, which is licensed under the LGPL as well.</p>")
            .arg(QStringLiteral(PLAYERLIBAV_VERSION_STRING),
                 pluginFile.isEmpty() ? tr("linked in") : pluginFile.toHtmlEscaped(),
                 QString::fromLatin1(qVersion()), QString::fromLatin1(av_version_info()));
    auto *box = new QMessageBox(QMessageBox::Information, tr("About player-host"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("about"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != video)
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonDblClick) {
        toggleFullScreen();
        return true;
    }
    // In the 360° mode the wheel goes on to the view, which may use it.
    if (event->type() == QEvent::Wheel && mediaPlayer->renderMode() == RenderModeNormal) {
        wheelRemainder += static_cast<QWheelEvent *>(event)->angleDelta().y();
        const int notches = wheelRemainder / kWheelNotch;
        wheelRemainder -= notches * kWheelNotch;
        if (notches != 0)
            changeVolume(notches * kWheelVolumeStep);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    openFile(urls.first().toLocalFile(), true);
}
