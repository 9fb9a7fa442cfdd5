#pragma once

#include "base/Clock.h"
#include "model/MP3File.h"
#include "model/VideoFile.h"

#include <QString>

#include <functional>

class MediaTableModel;

// What the library's workers share: the media table, the record arrays, the clock and the few
// ways they reach the windows. The engine builds one; tests build their own.
struct LibraryContext
{
    MediaTableModel& table;
    ImagesIndexArray& imagesIndexes;
    MP3FileArray& mp3Files;
    VideoFileArray& videoFiles;

    const Clock* clock = &Clock::system(); // tests pin the time
    // The main window's caption during copies and imports ("42%..Processing ") and its restore.
    std::function<void(const QString& caption)> setCaption = {};
    std::function<void()> restoreCaption = {};
    // A tray notice (a finished video recording).
    std::function<void(const QString& text)> notify = {};
    // The page address of the current link-download job (empty when there is none).
    std::function<QString()> linkPage = {};
    // Flashes the main window's caption and taskbar button once (music taken from a cache).
    std::function<void()> flashWindow = {};

    qint64 now() const { return clock->secondsSinceEpoch(); }

    void caption(const QString& text) const
    {
        if (setCaption)
            setCaption(text);
    }
    void captionRestored() const
    {
        if (restoreCaption)
            restoreCaption();
    }
};
