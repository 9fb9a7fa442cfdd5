#pragma once

#include <QString>

// The window side of the download list and of the main window's caption while downloads run.
// The core drives it through DownloadRows; a desktop window or the headless printer implements
// it. Rows are identified by the index of their VideoFile record (stable for the run).
//
// Threads: every call may come from a worker thread (the probe, a download part, an assembly).
// A window implementation must not touch widgets from the calling thread; it queues the work
// onto the interface thread (QMetaObject::invokeMethod(obj, lambda, Qt::QueuedConnection)).
// Calls for one row arrive in the order the core made them.
//
// The user cancels a download by removing its row: the window calls
// DownloadRows::cancel(recordIndex) (any thread) and waits for rowRemoved() to drop the row.
class DownloadList
{
public:
    virtual ~DownloadList() = default;

    // A new row at the top: display name, progress text ("0%") and the record's base name.
    virtual void
    rowInserted(qsizetype recordIndex, const QString& name, const QString& progress, const QString& baseName) = 0;
    // The display name changed (the page title was found).
    virtual void rowNameChanged(qsizetype recordIndex, const QString& name) = 0;
    // The site icon was stored: a file in "FavIcons/" named after the host.
    virtual void rowIconChanged(qsizetype recordIndex, const QString& iconPath) = 0;
    // "45%", "Live", "Conn err", "Timeout" (the last two in the interface language).
    virtual void rowProgressChanged(qsizetype recordIndex, const QString& progress) = 0;
    virtual void rowRemoved(qsizetype recordIndex) = 0;
    // Shown while it has rows; the core hides it when the last row goes.
    virtual void listVisibilityChanged(bool visible) = 0;

    // The main window's caption ("Detected media file", "45%..Downloading", the display name).
    virtual void captionChanged(const QString& caption) = 0;
    // Draws the user's attention once (a window flashes; headless ignores it).
    virtual void flash() = 0;
};
