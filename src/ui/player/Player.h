#pragma once

#include "ui/controls/PlayButton.h"
#include "ui/player/MediaBackend.h"
#include "ui/player/PlayButtonTracker.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QUrl;
class VideoArea;

// The library player of the main window: plays files with sound, shows a one-second muted
// preview of a selected row, carries out the play bar's commands and tells the play bar what
// it shows through its signals. Everything runs on the interface thread; the position poller
// is a 250 ms timer.
class Player final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Player)

public:
    static constexpr int PreviewPauseMs = 1000;
    static constexpr int ActivationPauseMs = 1500;
    static constexpr int StretchDelayMs = 250;
    static constexpr int PollIntervalMs = 250;
    // How long the stretch waits for a video output to appear (audio files never get one).
    static constexpr int StretchAttempts = 40;

    // The libvlc instance arguments every player starts with.
    static QStringList instanceArguments();

    // A libvlc player drawing into videoArea (may be null). extraArguments follow the fixed
    // ones; tests pass "--vout=dummy" and "--aout=dummy".
    explicit Player(VideoArea* videoArea, const QStringList& extraArguments = {}, QObject* parent = nullptr);
    // A player over any back end.
    Player(std::unique_ptr<MediaBackend> backend, VideoArea* videoArea, QObject* parent = nullptr);
    ~Player() override;

    // False when libvlc could not start; every command is then harmless.
    bool isReady() const;
    PlayerState state() const;
    MediaBackend& backend() { return *m_backend; }

    // A library file with sound, from the start.
    void playWithSound(const QString& path);
    // The muted preview: plays one second and pauses on an early frame. The same path twice
    // in a row previews once.
    void preview(const QString& path);
    // Loads and plays muted without pausing (the cutter opens on it shortly after).
    void playMuted(const QString& path);

    // The play bar's commands. selectedPath is the file of the table's selection mark.
    void play();                                     // "PlayerPlay"
    void pause();                                    // "PlayerPause"
    void stop();                                     // "PlayerStrop"
    void clickInPlayer(const QString& selectedPath); // "ClickInPlayer"
    void seekToPercent(double percent);              // "MoveMySlider"
    QString makeScreenShot();                        // "MakeScreenShot": the picture; empty beeps
    void toggleMute();                               // "VolumeMute"
    void volumeDown();                               // "VolumeMinus"
    void volumeUp();                                 // "VolumePlus"
    void openInExternalPlayer(const QString& path);  // "ExternalPlayer"

    // Sets the volume within the range the amplifier setting allows (start-up, settings OK).
    void setVolume(int volume);
    // Tells the play bar the position and the button of the current state once.
    void refreshPlayBar();
    // The main window became active: a stopped player shows a frame again.
    void windowActivated();
    // One poller step (the timer calls it every 250 ms).
    void poll();

    const QString& lastPreviewedPath() const { return m_lastPreviewedPath; }
    // The button the poller last showed; empty before the first change.
    std::optional<PlayButton> button() const { return m_tracker.button(); }
    // Where the next snapshot goes: the first free "Trawlix snapshot.png", "Trawlix snapshot
    // (2).png"... in the user's Pictures folder (made when missing); empty when none is free.
    static constexpr int kMaxSnapshotNumber = 9999;
    static QString nextSnapshotPath();

    // How files and folders are opened in other programs (the desktop's default handler).
    using UrlOpener = std::function<bool(const QUrl& url)>;
    void setUrlOpener(UrlOpener opener);

signals:
    // What the play bar shows.
    void positionChanged(const QString& current, const QString& total, int percent);
    void buttonChanged(PlayButton button);
    void endReached();
    void volumeChanged(int volume);
    void muteChanged(bool muted);

private:
    bool load(const QString& path, bool muted);
    void applyAspect();
    void stretch();
    void showPictureFor(const QString& path);
    void redrawVideo();
    int currentVolume() const;
    void sendAll(const PlayButtonTracker::Update& update);
    PlayButtonTracker::Reading reading() const;

    std::unique_ptr<MediaBackend> m_backend;
    VideoArea* m_videoArea = nullptr;
    PlayButtonTracker m_tracker;
    QString m_lastPreviewedPath;
    int m_lastVolume = 100;
    QTimer m_previewPause; // pauses a preview on an early frame
    QTimer m_stretch;      // stretches to 16:9 shortly after a load
    int m_stretchAttempts = 0;
    QTimer m_poller;
    UrlOpener m_opener;
};
