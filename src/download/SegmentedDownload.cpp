#include "download/SegmentedDownload.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "download/DownloadRows.h"
#include "download/HttpRequest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

const char* attemptName(int attempt)
{
    switch (attempt) {
    case 1:
        return "1-st";
    case 2:
        return "2-nd";
    default:
        return "3-rd";
    }
}

} // namespace

SegmentedDownload::PartRange SegmentedDownload::partRange(int part, qint64 total)
{
    const qint64 n = total / 4;
    switch (part) {
    case 1:
        return {QStringLiteral("_1"), "Range: bytes=0-" + QByteArray::number(n)};
    case 2:
        return {QStringLiteral("_2"), "Range: bytes=" + QByteArray::number(n + 1) + '-' + QByteArray::number(2 * n)};
    case 3:
        return {QStringLiteral("_3"),
                "Range: bytes=" + QByteArray::number(2 * n + 1) + '-' + QByteArray::number(3 * n)};
    case 4:
        return {QStringLiteral("_4"), "Range: bytes=" + QByteArray::number(3 * n + 1) + '-'};
    default:
        return {QStringLiteral("_"), {}};
    }
}

qint64 SegmentedDownload::partStart(int part, qint64 total)
{
    const qint64 n = total / 4;
    return part >= 2 && part <= 4 ? (part - 1) * n + 1 : 0;
}

qint64 SegmentedDownload::partSize(int part, qint64 total)
{
    const qint64 n = total / 4;
    switch (part) {
    case 1:
        return n + 1;
    case 2:
    case 3:
        return n;
    case 4:
        return total - 3 * n - 1;
    default:
        return total;
    }
}

std::optional<qint64> SegmentedDownload::partOffset(const std::optional<ContentRange>& range, int part, qint64 total)
{
    const qint64 start = partStart(part, total);
    // A range from before the part is skipped up to it, as a 200 is; one that starts after it
    // would put its bytes at the wrong place.
    if (!range || range->total != total || range->start > start || range->end < start)
        return std::nullopt;
    return start - range->start;
}

QString SegmentedDownload::progressText(qint64 received, qint64 total)
{
    if (total >= LiveTotal)
        return QStringLiteral("Live");
    if (total <= 0)
        return QStringLiteral("0%");
    return QString::number(received * 100 / total) + QLatin1Char('%');
}

SegmentedDownload::SegmentedDownload(
    DownloadContext context, Completion complete, qsizetype recordIndex, VideoFile copy, int part)
    : m_context(std::move(context))
    , m_complete(std::move(complete))
    , m_recordIndex(recordIndex)
    , m_copy(std::move(copy))
    , m_part(part)
{}

bool SegmentedDownload::recordLive() const
{
    // Records are never removed, so the index stays right; an address that changed to
    // Canceled means another part or the user gave the download up.
    const std::optional<VideoFile> record = m_context.videoFiles.at(m_recordIndex);
    return record && record->state != VideoFile::State::Canceled && record->url == m_copy.url;
}

void SegmentedDownload::run()
{
    if (!recordLive())
        return;
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        trace(QStringLiteral("Start partial download... %1 Attempt, PART = %2")
                  .arg(QLatin1String(attemptName(attempt)))
                  .arg(m_part));
        if (Download()) {
            finished();
            return;
        }
        if (!recordLive() || m_context.stopping)
            return;
    }
    trace(QStringLiteral("Partial download FAILED, PART = %1").arg(m_part));
    markFailed(tx(u"Timeout"));
}

void SegmentedDownload::markFailed(const QString& progress)
{
    bool changed = false;
    m_context.videoFiles.update(m_recordIndex, [&changed](VideoFile& record) {
        if (record.state == VideoFile::State::Canceled)
            return;
        record.state = VideoFile::State::Canceled;
        record.totalBytes = 0;
        changed = true;
    });
    if (changed)
        m_context.rows.setFailed(m_recordIndex, progress);
}

void SegmentedDownload::finished()
{
    if (m_context.stopping)
        return;
    trace(QStringLiteral("Partial download finished SUCSESSFULLY, PART = %1").arg(m_part));
    // Counting alone is not enough: a server that answers a part's range with the whole file
    // can bring the count to the total while the part files hold the wrong bytes. Every part
    // file must have its exact size (bytes are written before they are counted, so the part
    // that finishes last sees all of them).
    if (!partFilesComplete())
        return;
    // The test and the mark happen under the array's lock, so when two parts finish together
    // only one of them starts the assembly. A cancelled record (total 0) never completes.
    bool complete = false;
    qint64 received = 0;
    qint64 total = 0;
    m_context.videoFiles.update(m_recordIndex, [&](VideoFile& record) {
        received = record.receivedBytes;
        total = record.totalBytes;
        if (record.state != VideoFile::State::Canceled && total > 0 && received == total && !record.assemblyStarted) {
            record.assemblyStarted = true;
            complete = true;
        }
    });
    if (!complete)
        return;
    // The part whose bytes completed the count may not have shown them yet, and the assembly
    // may take the row first: the row says so before it goes.
    m_context.rows.setProgress(m_recordIndex, progressText(total, total), m_context.rows.nextProgressOrder());
    m_complete(m_recordIndex);
    trace(
        QStringLiteral("RecivedBytes == TotalBytes, %1==%2, so video is fully downloaded...").arg(received).arg(total));
    m_context.rows.setCaption(Texts::displayName());
}

bool SegmentedDownload::partFilesComplete() const
{
    const qint64 total = m_copy.totalBytes;
    const QString stem = m_context.tempFolder + m_copy.baseName;
    if (m_part == 0)
        return QFileInfo(stem + partRange(0, total).fileSuffix).size() == total;
    for (int part = 1; part <= 4; ++part) {
        if (QFileInfo(stem + partRange(part, total).fileSuffix).size() != partSize(part, total))
            return false;
    }
    return true;
}

bool SegmentedDownload::Download()
{
    const PartRange range = partRange(m_part, m_copy.totalBytes);
    const qint64 total = m_copy.totalBytes;
    DownloadRows& rows = m_context.rows;
    VideoFileArray& videoFiles = m_context.videoFiles;

    HttpRequest::Options options;
    options.url = m_copy.url;
    if (m_part >= 1 && m_part <= 4)
        options.headers << range.rangeHeader;
    options.headers << "User-Agent: " + m_copy.userAgent.toLatin1() << "Referer: " + m_copy.referer.toLatin1()
                    << "Accept: " + m_copy.accept.toLatin1() << "Accept-Language: " + m_copy.acceptLanguage.toLatin1()
                    << "Accept-Encoding: " + m_copy.acceptEncoding.toLatin1()
                    << "Connection: " + m_copy.connection.toLatin1();
    options.connectTimeout = m_context.timeouts.downloadConnect;
    options.receiveTimeout = m_context.timeouts.downloadReceive;
    options.lowSpeedLimit = LowSpeedBytesPerSecond;
    options.lowSpeedTime = std::chrono::ceil<std::chrono::seconds>(options.receiveTimeout);
    options.abort = &m_context.stopping;

    QFile file(m_context.tempFolder + m_copy.baseName + range.fileSuffix);
    const qint64 size = partSize(m_part, total);
    qint64 skip = 0;  // bytes of the answer before the part's start
    qint64 count = 0; // this attempt's bytes in the file, taken back when it fails
    bool cannotWrite = false;
    bool wrongRange = false;
    bool givenUp = false;
    // curl hands the body on in pieces of at most 16 KiB: written one by one, each costs a
    // system call and a round of the shared locks. They are gathered here and written at once
    // (unbuffered, so a written block is on its way to the disk: the part that completes the
    // total may start the assembly at once and must find every counted byte). Only bytes that
    // reached the file count, or a failed write would leave the total short.
    QByteArray pending;
    pending.reserve(qMin<qint64>(WriteBlock, size));
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    const auto writePending = [&]() -> bool {
        sinceWrite.restart();
        const qint64 wanted = pending.size();
        const qint64 written = wanted > 0 ? file.write(pending.constData(), wanted) : 0;
        pending.resize(0);
        qint64 received = 0;
        quint64 order = 0;
        bool failed = false;
        if (written > 0) {
            count += written;
            videoFiles.update(m_recordIndex, [&, written](VideoFile& record) {
                record.receivedBytes += written;
                received = record.receivedBytes;
                // Taken with the count, so the parts' reports show in the order of counts.
                order = rows.nextProgressOrder();
                failed = record.state == VideoFile::State::Canceled;
            });
        }
        if (written != wanted) {
            cannotWrite = true;
            return false;
        }
        // Another part failed the download, or the user removed it: this part is no use.
        if (failed || !rows.contains(m_recordIndex)) {
            trace(QStringLiteral("Exit from Download(), part == %1").arg(m_part));
            givenUp = true;
            return false;
        }
        if (written > 0) {
            const QString progress = progressText(received, total);
            rows.setProgress(m_recordIndex, progress, order, progress + tx(u"..Downloading"));
        }
        return true;
    };

    HttpRequest request(options);
    const HttpResult result = request.perform(
        [&](const HttpResponseHead& head) {
            if (head.contentLength <= 0 || (head.status != 200 && head.status != 206))
                return false; // nothing to write; the attempt counts as done
            // A 200 to a range request is the whole file from its first byte: the part is found
            // in it by its offset instead of taking the file's start for the part. A 206 says
            // where its bytes start; only that tells the part's place in them.
            const std::optional<qint64> offset =
                head.status == 200 ? partStart(m_part, total) : partOffset(head.contentRange, m_part, total);
            if (!offset) {
                wrongRange = true;
                return false; // before the part file is touched
            }
            skip = *offset;
            // An answer that ends before the part does cannot complete it, and the next attempt
            // would be answered the same way: refused like other bytes.
            if (head.contentLength - skip < size) {
                wrongRange = true;
                return false;
            }
            // Qt opens files close-on-exec, so tools started meanwhile do not inherit it.
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
                cannotWrite = true;
                return false;
            }
            return true;
        },
        [&](const char* data, qsizetype length) {
            const qint64 skipped = qMin<qint64>(skip, length);
            skip -= skipped;
            // Never past the part's end, whatever the server sends: the bytes beyond it belong
            // to the next part or to no file at all.
            const qint64 wanted = qMin<qint64>(length - skipped, size - count - pending.size());
            if (wanted > 0)
                pending.append(data + skipped, wanted);
            // A slow server still shows progress, and a removed row still stops the part soon.
            const bool done = count + pending.size() >= size;
            if (done || pending.size() >= WriteBlock || sinceWrite.elapsed() >= WriteInterval.count()) {
                if (!writePending())
                    return false;
            }
            return !done;
        });
    // What arrived before the answer broke off is the part's next bytes: kept, and given back
    // with the rest of this attempt's below.
    if (!pending.isEmpty() && !cannotWrite && !givenUp)
        writePending();
    file.close();

    if (result.error == HttpError::None && !cannotWrite && !wrongRange)
        return true;

    if (cannotWrite) {
        // The disk is full or the folder is gone: trying again writes no better.
        trace(QStringLiteral("Cannot write in Func: Download, file: %1").arg(file.fileName()));
        rows.setCaption(Texts::displayName());
        markFailed(QStringLiteral("Write err"));
    } else if (wrongRange) {
        // Other bytes than the part's, or of another file: nothing was written, and the server
        // would answer the next attempt the same way, so the download fails like a broken
        // connection.
        const QString named = result.head.contentRange ? QStringLiteral("%1-%2/%3")
                                                             .arg(result.head.contentRange->start)
                                                             .arg(result.head.contentRange->end)
                                                             .arg(result.head.contentRange->total)
                                                       : QStringLiteral("none");
        trace(QStringLiteral("Wrong Content-Range in Func: Download, range: %1").arg(named));
        trace(QStringLiteral("More info: Download() URL = %1").arg(m_copy.url));
        trace(QStringLiteral("More info: Download() PART = %1").arg(m_part));
        trace(QStringLiteral("More info: Download() TotalBytes = %1").arg(total));
        rows.setCaption(Texts::displayName());
        markFailed(QStringLiteral("Conn err"));
    } else if (result.error != HttpError::None) {
        trace(QStringLiteral("CInternetException in Func: Download, code: %1").arg(result.error));
        trace(QStringLiteral("More info: Download() URL = %1").arg(m_copy.url));
        trace(QStringLiteral("More info: Download() PART = %1").arg(m_part));
        trace(QStringLiteral("More info: Download() TotalBytes = %1").arg(total));
        if (result.error != HttpError::Timeout) {
            rows.setCaption(Texts::displayName());
            markFailed(QStringLiteral("Conn err"));
        }
    }
    // A failed attempt gives its bytes back; the next attempt writes the part from its start.
    qint64 before = 0;
    qint64 after = 0;
    videoFiles.update(m_recordIndex, [count, &before, &after](VideoFile& record) {
        before = record.receivedBytes;
        record.receivedBytes -= count;
        after = record.receivedBytes;
    });
    trace(QStringLiteral("CORRECTION... Decrease percent due to of Exeption..."));
    trace(QStringLiteral("More info: TotalBytes BEFORE correction = %1").arg(before));
    trace(QStringLiteral("More info: TotalBytes AFTER correction = %1").arg(after));
    return false;
}
