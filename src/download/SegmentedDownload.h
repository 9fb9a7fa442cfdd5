#pragma once

#include "download/ContentRange.h"
#include "download/DownloadContext.h"
#include "model/VideoFile.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// One download worker: one part of one record, up to three attempts. Part 0 is the whole
// file; parts 1 to 4 are the quarters, fetched at the same time by four workers.
class SegmentedDownload final
{
public:
    struct PartRange
    {
        QString fileSuffix;     // "_" for part 0, "_1" to "_4"
        QByteArray rangeHeader; // empty for part 0
    };

    static constexpr int Attempts = 3;
    static constexpr qint64 LiveTotal = 2000000000; // totals from here on show "Live"

    // N = total / 4 (rounded down): 0-N, N+1-2N, 2N+1-3N, 3N+1- to the end.
    static PartRange partRange(int part, qint64 total);

    // Where a part starts in the file and how many bytes it holds (part 0: the whole total).
    static qint64 partStart(int part, qint64 total);
    static qint64 partSize(int part, qint64 total);

    // How many bytes of a 206 answer with this Content-Range come before the part's first
    // byte; none when the answer cannot fill the part from its start: no or a broken range,
    // another total than the probed one, a range that starts after the part's start or ends
    // before it.
    static std::optional<qint64> partOffset(const std::optional<ContentRange>& range, int part, qint64 total);

    // Slower than this for the whole receive time-out counts as a time-out: a server that
    // trickles a few bytes at a time would otherwise hold a part forever.
    static constexpr long LowSpeedBytesPerSecond = 1024;

    // Body bytes are written to the part file in blocks of this size, or sooner once this long
    // has passed since the last write (a slow server).
    static constexpr qsizetype WriteBlock = qsizetype(1) << 20;
    static constexpr std::chrono::milliseconds WriteInterval{100};

    // The progress text for received of total bytes: percent rounded down, or "Live".
    static QString progressText(qint64 received, qint64 total);

    // Runs once, on this part's thread, when this part completed its record (every part file
    // whole); it joins the parts and removes the row.
    using Completion = std::function<void(qsizetype recordIndex)>;

    SegmentedDownload(DownloadContext context, Completion complete, qsizetype recordIndex, VideoFile copy, int part);

    // The attempt loop; returns when the part is done, failed or cancelled.
    void run();

    // One attempt. True when it is over (finished, stopped by the user, or answered without a
    // body); false when it should be tried again.
    bool Download();

private:
    bool recordLive() const;
    void markFailed(const QString& progress);
    void finished();
    bool partFilesComplete() const;

    const DownloadContext m_context;
    const Completion m_complete;
    qsizetype m_recordIndex;
    VideoFile m_copy;
    int m_part;
};
