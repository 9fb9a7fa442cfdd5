#include "ui/player/Player.h"

#include "base/AppPaths.h"
#include "base/OutputName.h"
#include "base/Settings.h"
#include "ui/player/PlayerRules.h"
#include "ui/player/VideoArea.h"
#include "ui/player/VlcBackend.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

QStringList Player::instanceArguments()
{
    return {QStringLiteral("-I"), QStringLiteral("dummy"), QStringLiteral("--ignore-config"),
            QStringLiteral("--no-video-title-show")};
}

Player::Player(VideoArea* videoArea, const QStringList& extraArguments, QObject* parent)
    : Player(std::make_unique<VlcBackend>(instanceArguments() + extraArguments), videoArea, parent)
{}

Player::Player(std::unique_ptr<MediaBackend> backend, VideoArea* videoArea, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_videoArea(videoArea)
    , m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    // Only an X11 window can take libvlc's video; elsewhere libvlc would open a window of
    // its own, so the video stays unembedded (the pictures still show).
    if (m_videoArea && m_backend->isReady() && QGuiApplication::platformName() == QLatin1String("xcb"))
        m_backend->setVideoWindow(m_videoArea->winId());
    if (m_videoArea) {
        // The area may go first when the main window closes: libvlc must not draw into a
        // window that no longer exists.
        connect(m_videoArea, &VideoArea::closing, this, [this] {
            m_previewPause.stop();
            m_stretch.stop();
            m_backend->stop();
            m_backend->setVideoWindow(0);
            m_videoArea = nullptr;
        });
    }

    m_previewPause.setSingleShot(true);
    connect(&m_previewPause, &QTimer::timeout, this, [this] { m_backend->pause(); });
    m_stretch.setSingleShot(true);
    m_stretch.setInterval(StretchDelayMs);
    connect(&m_stretch, &QTimer::timeout, this, &Player::stretch);
    m_poller.setInterval(PollIntervalMs);
    connect(&m_poller, &QTimer::timeout, this, &Player::poll);
    if (m_backend->isReady())
        m_poller.start();
}

Player::~Player() = default;

bool Player::isReady() const
{
    return m_backend->isReady();
}

PlayerState Player::state() const
{
    return m_backend->state();
}

void Player::playWithSound(const QString& path)
{
    showPictureFor(path);
    if (!path.isEmpty()) {
        m_previewPause.stop();
        load(path, false);
    }
    applyAspect();
}

void Player::preview(const QString& path)
{
    if (path != m_lastPreviewedPath) {
        showPictureFor(path);
        // Without a file nothing new plays, and whatever plays must not be paused by it.
        if (load(path, true))
            m_previewPause.start(PreviewPauseMs);
        m_lastPreviewedPath = path;
    }
    applyAspect();
}

void Player::playMuted(const QString& path)
{
    showPictureFor(path);
    m_previewPause.stop();
    load(path, true);
    applyAspect();
}

bool Player::load(const QString& path, bool muted)
{
    if (path.isEmpty())
        return false;
    m_backend->setMuted(muted);
    if (!m_backend->load(path))
        return false;
    m_backend->play();
    return true;
}

void Player::applyAspect()
{
    if (PlayerRules::stretchesTo16by9(Settings::instance().read(QStringLiteral("aspect")))) {
        m_stretchAttempts = 0;
        m_stretch.start();
    } else {
        // The setting may have changed since the last load: drop an earlier stretch.
        m_stretch.stop();
        m_backend->setAspectRatio(QString());
    }
}

void Player::stretch()
{
    m_backend->setAspectRatio(QStringLiteral("16:9"));
    // libvlc applies the ratio only to a video output that exists; a file still opening gets
    // it again once its output is there.
    if (!m_backend->hasVideoOutput() && ++m_stretchAttempts < StretchAttempts)
        m_stretch.start();
}

void Player::showPictureFor(const QString& path)
{
    if (m_videoArea)
        m_videoArea->showAudioPicture(PlayerRules::isAudioPath(path));
}

void Player::redrawVideo()
{
    if (m_videoArea)
        m_videoArea->update();
}

void Player::play()
{
    if (PlayerRules::restartsFromStart(m_backend->time()))
        m_backend->setTime(0);
    m_backend->setMuted(false);
    m_backend->play();
}

void Player::pause()
{
    m_previewPause.stop();
    m_backend->pause();
}

void Player::stop()
{
    m_backend->stop();
    refreshPlayBar();
}

void Player::clickInPlayer(const QString& selectedPath)
{
    switch (m_backend->state()) {
    case PlayerState::Playing:
        pause();
        break;
    case PlayerState::Paused:
    case PlayerState::Stopped:
        play();
        break;
    case PlayerState::Ended:
        playWithSound(selectedPath);
        break;
    default:
        break;
    }
}

void Player::seekToPercent(double percent)
{
    m_backend->setTime(PlayerRules::seekTime(m_backend->length(), percent));
}

QString Player::makeScreenShot()
{
    if (m_backend->state() == PlayerState::Paused) {
        // A free name, so that no earlier picture is ever replaced or shown as the new one.
        const QString path = nextSnapshotPath();
        if (!path.isEmpty() && m_backend->takeSnapshot(path) && QFileInfo::exists(path))
            return path;
    }
    QApplication::beep();
    return {};
}

void Player::toggleMute()
{
    const bool wasMuted = m_backend->isMuted();
    m_backend->setMuted(!wasMuted);
    emit muteChanged(!wasMuted);
}

int Player::currentVolume() const
{
    const int volume = m_backend->volume();
    return volume >= 0 ? volume : m_lastVolume;
}

void Player::volumeDown()
{
    const int volume = PlayerRules::volumeAfterMinus(currentVolume(), Settings::instance().amplifier());
    m_backend->setVolume(volume);
    m_lastVolume = volume;
    emit volumeChanged(volume);
}

void Player::volumeUp()
{
    const int volume = PlayerRules::volumeAfterPlus(currentVolume(), Settings::instance().amplifier());
    m_backend->setVolume(volume);
    m_lastVolume = volume;
    emit volumeChanged(volume);
}

void Player::openInExternalPlayer(const QString& path)
{
    if (m_backend->state() == PlayerState::Playing)
        m_backend->pause();
    if (path.isEmpty() || m_opener(QUrl::fromLocalFile(path)))
        return;
    // No program is registered for the file: show it in its folder so the user can pick one.
    m_opener(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void Player::setVolume(int volume)
{
    const int clamped = PlayerRules::clampVolume(volume, Settings::instance().amplifier());
    m_backend->setVolume(clamped);
    m_lastVolume = clamped;
    emit volumeChanged(clamped);
}

void Player::refreshPlayBar()
{
    const PlayButtonTracker::Update update = PlayButtonTracker::refresh(reading());
    sendAll(update);
}

void Player::windowActivated()
{
    if (m_backend->state() != PlayerState::Stopped)
        return;
    m_backend->setMuted(false);
    m_backend->play();
    m_previewPause.start(ActivationPauseMs);
}

void Player::poll()
{
    sendAll(m_tracker.poll(reading()));
}

QString Player::nextSnapshotPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    const QString first = folder + QStringLiteral("/Trawlix snapshot.png");
    for (int n = 1; n <= kMaxSnapshotNumber; ++n) {
        const QString candidate = OutputName::numbered(first, n);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

void Player::setUrlOpener(UrlOpener opener)
{
    m_opener = std::move(opener);
}

void Player::sendAll(const PlayButtonTracker::Update& update)
{
    if (update.redrawVideo)
        redrawVideo();
    if (update.button)
        emit buttonChanged(*update.button);
    if (update.endAnimation)
        emit endReached();
    if (update.position)
        emit positionChanged(update.position->current, update.position->total, update.position->percent);
}

PlayButtonTracker::Reading Player::reading() const
{
    return {m_backend->state(), m_backend->time(), m_backend->length(), m_backend->position()};
}
