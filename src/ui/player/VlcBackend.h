#pragma once

#include "ui/player/MediaBackend.h"

#include <QStringList>

#include <memory>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;

// The libvlc back end: one instance, one media player and the current media, each owned
// through RAII and released in the reverse order of creation.
class VlcBackend final : public MediaBackend
{
public:
    // The instance gets exactly these arguments (the player adds its fixed set in front).
    explicit VlcBackend(const QStringList& arguments);
    ~VlcBackend() override;

    VlcBackend(const VlcBackend&) = delete;
    VlcBackend& operator=(const VlcBackend&) = delete;

    bool isReady() const override;
    void setVideoWindow(quintptr windowId) override;

    bool load(const QString& path) override;
    void play() override;
    void pause() override;
    void stop() override;

    PlayerState state() const override;
    qint64 time() const override;
    qint64 length() const override;
    double position() const override;
    void setTime(qint64 ms) override;

    int volume() const override;
    void setVolume(int volume) override;
    bool isMuted() const override;
    void setMuted(bool muted) override;

    bool hasVideoOutput() const override;
    void setAspectRatio(const QString& ratio) override;
    bool takeSnapshot(const QString& filePath) override;

private:
    struct InstanceDeleter
    {
        void operator()(libvlc_instance_t* instance) const;
    };
    struct PlayerDeleter
    {
        void operator()(libvlc_media_player_t* player) const;
    };
    struct MediaDeleter
    {
        void operator()(libvlc_media_t* media) const;
    };

    // Declared in creation order; destroyed in reverse (media, player, instance).
    std::unique_ptr<libvlc_instance_t, InstanceDeleter> m_instance;
    std::unique_ptr<libvlc_media_player_t, PlayerDeleter> m_player;
    std::unique_ptr<libvlc_media_t, MediaDeleter> m_media;
};
