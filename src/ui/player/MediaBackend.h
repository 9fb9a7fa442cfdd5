#pragma once

#include <QString>
#include <QtGlobal>

// Player states with the numbers libvlc reports for them.
enum class PlayerState
{
    Nothing = 0,
    Opening = 1,
    Buffering = 2,
    Playing = 3,
    Paused = 4,
    Stopped = 5,
    Ended = 6,
    Error = 7,
};

// What the player needs from a media back end. The real one is libvlc (VlcBackend); keeping
// the commands behind this seam lets the player's rules be checked without decoding media.
class MediaBackend
{
public:
    virtual ~MediaBackend() = default;

    // False when the back end could not start (the player then does nothing).
    virtual bool isReady() const = 0;
    // The native window the video is drawn into (an X11 window id); 0 detaches.
    virtual void setVideoWindow(quintptr windowId) = 0;

    // Replaces the current media with the file at path; false when it cannot be created.
    virtual bool load(const QString& path) = 0;
    virtual void play() = 0;
    virtual void pause() = 0; // pauses; never resumes
    virtual void stop() = 0;

    virtual PlayerState state() const = 0;
    virtual qint64 time() const = 0;     // ms, -1 when unknown
    virtual qint64 length() const = 0;   // ms, -1 or 0 when unknown
    virtual double position() const = 0; // 0..1
    virtual void setTime(qint64 ms) = 0;

    virtual int volume() const = 0; // -1 when unknown
    virtual void setVolume(int volume) = 0;
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;

    // True once a video output exists for the current media (audio files never get one).
    virtual bool hasVideoOutput() const = 0;
    // "16:9" stretches; the empty text keeps the video's own aspect ratio. Only a video output
    // that exists takes the change.
    virtual void setAspectRatio(const QString& ratio) = 0;
    // Writes the current picture at its own size as PNG; false when nothing was written.
    virtual bool takeSnapshot(const QString& filePath) = 0;
};
