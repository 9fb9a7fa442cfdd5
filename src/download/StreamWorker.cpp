#include "download/StreamWorker.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "download/DownloadRows.h"

#include <QCryptographicHash>

#include <algorithm>

StreamWorker::StreamWorker(DownloadContext context, Completion complete, qsizetype recordIndex, VideoFile copy)
    : m_context(std::move(context))
    , m_complete(std::move(complete))
    , m_recordIndex(recordIndex)
    , m_copy(std::move(copy))
{}

QString StreamWorker::folderFor(const QString& tempFolder, const QString& url)
{
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    QString folder = tempFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("stream-") + QString::fromLatin1(digest);
}

void StreamWorker::fail(const QString& reason, bool cancel)
{
    trace(QStringLiteral("Stream download failed (%1): %2").arg(reason, m_copy.url));
    if (cancel) {
        // As a failed part: the same address may be caught again, and then continues.
        m_context.videoFiles.update(m_recordIndex, [](VideoFile& record) {
            if (record.state != VideoFile::State::Canceled) {
                record.state = VideoFile::State::Canceled;
                record.totalBytes = 0;
            }
        });
    }
    m_context.rows.setFailed(m_recordIndex, reason);
    m_context.rows.setCaption(Texts::displayName());
}

void StreamWorker::run()
{
    DownloadRows& rows = m_context.rows;
    StreamDownload download(m_copy, folderFor(m_context.tempFolder, m_copy.url),
                            Settings::instance().streamVariantChoice(), &m_context.stopping);
    download.setTimeouts(m_context.timeouts);
    const StreamDownload::Result result = download.run([&](const StreamDownload::Progress& progress) {
        if (!rows.contains(m_recordIndex))
            return false;
        // As a plain download counts its bytes: into the record, with the order of the count.
        quint64 order = 0;
        m_context.videoFiles.update(m_recordIndex, [&](VideoFile& record) {
            record.receivedBytes = std::max(record.receivedBytes, progress.bytes);
            order = rows.nextProgressOrder();
        });
        const QString text = StreamDownload::progressText(progress);
        rows.setProgress(m_recordIndex, text, order, text + tx(u"..Downloading"));
        return true;
    });
    if (result.live && result.ending == StreamDownload::LiveEnding::Stopped) {
        // Stopped by the user: the page's player goes on reloading the playlist, and that must
        // not start another recording of the same stream.
        m_context.videoFiles.update(m_recordIndex, [](VideoFile& record) { record.state = VideoFile::State::Old; });
    }
    switch (result.outcome) {
    case StreamDownload::Outcome::Done:
        m_complete(m_recordIndex, result);
        return;
    case StreamDownload::Outcome::Protected:
        fail(QStringLiteral("Protected"), false);
        return;
    case StreamDownload::Outcome::Failed:
        fail(result.reason, true);
        return;
    case StreamDownload::Outcome::Stopped:
        return;
    }
}
