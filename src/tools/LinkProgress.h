#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads what yt-dlp prints during a link download: its own lines, the progress lines of the
// template LinkCommand::progressTemplate() asks for, the "item 3 of 12" lines of a playlist and
// its "ERROR:" lines. Output arrives in chunks of any size; lines end in "\n" or "\r". The text
// is outside data: a line is kept to MaxLineBytes (the rest up to its end is dropped), the block
// shown to MaxBlockLines lines, and every number is checked before use.
class LinkProgress final
{
public:
    static constexpr int MaxLineBytes = 2048;
    static constexpr int MaxBlockLines = 6;

    // Takes a chunk; returns true when something shown changed.
    bool feed(const QByteArray& chunk);
    // The line that is still open when the tool ends.
    bool finish();

    // -1 while unknown.
    double percent() const { return m_percent; }
    double bytesPerSecond() const { return m_speed; }
    qint64 secondsLeft() const { return m_eta; }
    qint64 totalBytes() const { return m_total; }
    int item() const { return m_item; }
    int itemCount() const { return m_itemCount; }
    // The last "ERROR:" line, without the "ERROR: " and the tool's request to report bugs.
    QString errorLine() const { return m_error; }
    // Whether a file was finished (the tool moved it to its final name or said it was there).
    bool anyFileFinished() const { return m_finishedFiles > 0; }

    // "45.3%, 1.20 MiB/s, 00:12 left, item 3 of 12" (the parts known so far; empty before any
    // progress).
    QString progressText() const;
    // The window title while downloading: progressText() + "..Downloading".
    QString caption() const;
    // The status field: the latest lines, the tool's name replaced by the program's, progress
    // lines in readable form.
    QString statusText() const;

    // The readable size and speed texts ("12.0 MiB", "1.20 MiB/s").
    static QString sizeText(double bytes);
    static QString durationText(qint64 seconds);

private:
    void takeLine(const QByteArray& line);
    bool takeProgress(const QString& line);
    void showLine(const QString& line);

    QByteArray m_pending;
    bool m_overlong = false;
    bool m_changed = false;
    double m_percent = -1;
    double m_speed = -1;
    qint64 m_eta = -1;
    qint64 m_total = -1;
    int m_item = 0;
    int m_itemCount = 0;
    int m_finishedFiles = 0;
    QString m_error;
    QStringList m_block;
    bool m_lastWasProgress = false;
};
