#include "MainWindow.h"

#include "Formatting.h"
#include "IMediaPlayer2.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGLWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

constexpr int kStatusIntervalMs = 500;

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
    setVolume(1.0f);
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

    // Keys belong to the window's shortcuts (Space, arrows), not to a focused control.
    for (QWidget *w : std::initializer_list<QWidget *>{playButton, stopButton, seekSlider, volumeSlider})
        w->setFocusPolicy(Qt::NoFocus);

    connect(playButton, &QPushButton::clicked, this, &MainWindow::togglePlayPause);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::stop);
    connect(seekSlider, &QSlider::sliderReleased, this, &MainWindow::seekToSlider);
    // A click on the groove moves by a page without a press on the handle.
    connect(seekSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            QTimer::singleShot(0, this, &MainWindow::seekToSlider);
    });
    connect(volumeSlider, &QSlider::valueChanged, this,
            [this](int value) { mediaPlayer->setVolume(static_cast<float>(value) / 100.0f); });

    row->addWidget(playButton);
    row->addWidget(stopButton);
    row->addWidget(positionLabel);
    row->addWidget(seekSlider, 1);
    row->addWidget(durationLabel);
    row->addSpacing(12);
    row->addWidget(volumeLabel);
    row->addWidget(volumeSlider);
    return bar;
}

void MainWindow::buildMenus()
{
    // Every action is also added to the window itself so that its shortcut works
    // while the menu bar is hidden in full screen.
    auto add = [this](QMenu *menu, const QString &text, const QKeySequence &key, auto slot) {
        QAction *action = menu->addAction(text);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };

    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, tr("&Open..."), QKeySequence::Open, &MainWindow::openDialog);
    file->addSeparator();
    add(file, tr("&Quit"), QKeySequence::Quit, &QWidget::close);

    QMenu *playback = menuBar()->addMenu(tr("&Playback"));
    add(playback, tr("Play / &Pause"), QKeySequence(Qt::Key_Space), &MainWindow::togglePlayPause);
    add(playback, tr("&Stop"), QKeySequence(Qt::Key_S), &MainWindow::stop);
    add(playback, tr("&Back 5 s"), QKeySequence(Qt::Key_Left), [this] { seekBy(-5000); });
    add(playback, tr("&Forward 5 s"), QKeySequence(Qt::Key_Right), [this] { seekBy(5000); });

    QMenu *view = menuBar()->addMenu(tr("&View"));
    QMenu *modes = view->addMenu(tr("&Render mode"));
    modeGroup = new QActionGroup(this);
    for (int code = RenderModeNormal; code <= RenderModeVR; ++code) {
        QAction *action = modes->addAction(QStringLiteral("%1 - %2").arg(code).arg(renderModeName(code)));
        action->setCheckable(true);
        action->setData(code);
        action->setChecked(code == mediaPlayer->renderMode());
        modeGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, code] { setRenderMode(code); });
    }
    add(view, tr("&Full screen"), QKeySequence(Qt::Key_F), &MainWindow::toggleFullScreen);
    QAction *leave = new QAction(this);
    leave->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(leave, &QAction::triggered, this, &MainWindow::leaveFullScreen);
    addAction(leave);
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
    mediaPlayer->setVolume(volume);
    const QSignalBlocker blocker(volumeSlider);
    volumeSlider->setValue(qRound(mediaPlayer->volume() * 100));
}

void MainWindow::toggleFullScreen()
{
    if (isFullScreen()) {
        leaveFullScreen();
        return;
    }
    menuBar()->hide();
    controls->hide();
    statusBar()->hide();
    showFullScreen();
}

void MainWindow::leaveFullScreen()
{
    if (!isFullScreen())
        return;
    showNormal();
    menuBar()->show();
    controls->show();
    statusBar()->show();
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
    const PlayerStatistics stats = mediaPlayer->statistics();
    return tr("decode video %1/s, audio %2/s | render %3/s | last event: %4")
        .arg(stats.videoDecodeRate)
        .arg(stats.audioDecodeRate)
        .arg(stats.renderRate)
        .arg(lastEvent < 0 ? tr("none") : QStringLiteral("%1 (%2)").arg(eventName(lastEvent)).arg(lastEvent));
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
