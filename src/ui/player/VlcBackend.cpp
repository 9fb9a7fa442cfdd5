#include "ui/player/VlcBackend.h"

#include <vlc/vlc.h>

#include <vector>

void VlcBackend::InstanceDeleter::operator()(libvlc_instance_t* instance) const
{
    libvlc_release(instance);
}

void VlcBackend::PlayerDeleter::operator()(libvlc_media_player_t* player) const
{
    // Releasing a playing player stops it first, so no decoder outlives the instance.
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
}

void VlcBackend::MediaDeleter::operator()(libvlc_media_t* media) const
{
    libvlc_media_release(media);
}

VlcBackend::VlcBackend(const QStringList& arguments)
{
    std::vector<QByteArray> storage;
    storage.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<const char*> argv;
    argv.reserve(storage.size());
    for (const QByteArray& argument : storage)
        argv.push_back(argument.constData());

    m_instance.reset(libvlc_new(static_cast<int>(argv.size()), argv.data()));
    if (m_instance)
        m_player.reset(libvlc_media_player_new(m_instance.get()));
}

VlcBackend::~VlcBackend() = default;

bool VlcBackend::isReady() const
{
    return m_player != nullptr;
}

void VlcBackend::setVideoWindow(quintptr windowId)
{
    if (m_player)
        libvlc_media_player_set_xwindow(m_player.get(), static_cast<uint32_t>(windowId));
}

bool VlcBackend::load(const QString& path)
{
    if (!m_player || path.isEmpty())
        return false;
    libvlc_media_t* media = libvlc_media_new_path(m_instance.get(), path.toUtf8().constData());
    if (!media)
        return false;
    libvlc_media_player_set_media(m_player.get(), media); // takes its own reference
    m_media.reset(media);
    return true;
}

void VlcBackend::play()
{
    if (m_player)
        libvlc_media_player_play(m_player.get());
}

void VlcBackend::pause()
{
    if (m_player)
        libvlc_media_player_set_pause(m_player.get(), 1);
}

void VlcBackend::stop()
{
    if (m_player)
        libvlc_media_player_stop(m_player.get());
}

PlayerState VlcBackend::state() const
{
    if (!m_player)
        return PlayerState::Nothing;
    const int state = libvlc_media_player_get_state(m_player.get());
    if (state < 0 || state > static_cast<int>(PlayerState::Error))
        return PlayerState::Nothing;
    return static_cast<PlayerState>(state);
}

qint64 VlcBackend::time() const
{
    return m_player ? libvlc_media_player_get_time(m_player.get()) : -1;
}

qint64 VlcBackend::length() const
{
    return m_player ? libvlc_media_player_get_length(m_player.get()) : -1;
}

double VlcBackend::position() const
{
    return m_player ? static_cast<double>(libvlc_media_player_get_position(m_player.get())) : 0.0;
}

void VlcBackend::setTime(qint64 ms)
{
    if (m_player)
        libvlc_media_player_set_time(m_player.get(), ms);
}

int VlcBackend::volume() const
{
    return m_player ? libvlc_audio_get_volume(m_player.get()) : -1;
}

void VlcBackend::setVolume(int volume)
{
    if (m_player)
        libvlc_audio_set_volume(m_player.get(), volume);
}

bool VlcBackend::isMuted() const
{
    return m_player && libvlc_audio_get_mute(m_player.get()) == 1;
}

void VlcBackend::setMuted(bool muted)
{
    if (m_player)
        libvlc_audio_set_mute(m_player.get(), muted ? 1 : 0);
}

bool VlcBackend::hasVideoOutput() const
{
    return m_player && libvlc_media_player_has_vout(m_player.get()) > 0;
}

void VlcBackend::setAspectRatio(const QString& ratio)
{
    if (!m_player)
        return;
    if (ratio.isEmpty()) {
        libvlc_video_set_aspect_ratio(m_player.get(), nullptr);
        return;
    }
    const QByteArray text = ratio.toLatin1();
    libvlc_video_set_aspect_ratio(m_player.get(), text.constData());
}

bool VlcBackend::takeSnapshot(const QString& filePath)
{
    if (!m_player)
        return false;
    return libvlc_video_take_snapshot(m_player.get(), 0, filePath.toUtf8().constData(), 0, 0) == 0;
}
