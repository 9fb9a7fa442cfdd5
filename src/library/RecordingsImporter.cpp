#include "library/RecordingsImporter.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "library/FfmpegCommand.h"
#include "library/FileBusy.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace RecordingsImporter {
namespace {

void import(const LibraryContext& context, const QString& source, const QString& name)
{
    // The real extension, not "the last four characters": ".flac" must not lose its dot.
    QString extension = QLatin1Char('.') + QFileInfo(name).suffix();
    const bool video = extension.compare(QLatin1String(".avi"), Qt::CaseInsensitive) == 0;
    QString prefix = tx(u"Audio Record ");
    if (video) {
        extension = QStringLiteral(".mp4");
        prefix = tx(u"Video Record ");
        if (context.notify)
            context.notify(tx(u"Video file has been successfully recorded. Click here to return to Trawlix."));
    }
    const qint64 now = context.now();
    const QString when = LibraryFormat::captureTime(QDateTime::fromSecsSinceEpoch(now));
    const QString target = LibraryTarget::freePath(now, extension);

    const int seconds = LibraryFormat::durationSeconds(LibraryInserter::measureDuration(source));
    const QString copyStreams = video ? QStringLiteral("-vcodec") : QStringLiteral("-acodec");
    ToolRunner::runToolWithPercent(
        ffmpegCommand({QStringLiteral("-i"), source, copyStreams, QStringLiteral("copy"), target}), qMax(0, seconds),
        QString(), tx(u"..Processing "), [&](const QString& text) { context.caption(text); });
    context.captionRestored();

    if (!QFileInfo(target).isFile() || QFileInfo(target).size() == 0)
        return; // ffmpeg failed: the library gets nothing, and the recording is not retried
    TagStore::write(target, QStringLiteral("title"), prefix + when);
    LibraryInserter::insert(context, target, video ? QStringLiteral("DefaultVideo") : QStringLiteral("DefaultAudio"));
    // The library has its copy. Start-up imports what is left in "TempRecords/", so a
    // recording left there would come in twice.
    QFile::remove(source);
}

} // namespace

void pass(const LibraryContext& context, TempRecordsFileArray& records)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempRecords);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QString path = folder + name;
        const QString state = records.withLock([&](QList<TempRecordsFile>& list) {
            for (const TempRecordsFile& record : list) {
                if (record.fileName == name)
                    return record.state;
            }
            list.append({QStringLiteral("UnKnown"), name});
            return QString();
        });
        auto setState = [&](const QString& next) {
            records.withLock([&](QList<TempRecordsFile>& list) {
                for (TempRecordsFile& record : list) {
                    if (record.fileName == name)
                        record.state = next;
                }
            });
        };
        if (state == QLatin1String("UnKnown") || state == QLatin1String("RecordingNow")) {
            setState(FileBusy::isOpenForWriting(path) ? QStringLiteral("RecordingNow")
                                                      : QStringLiteral("HasBeenRecorded"));
        } else if (state == QLatin1String("HasBeenRecorded")) {
            // Marked first: whatever ffmpeg reports, a recording is imported once.
            setState(QStringLiteral("HasBeenImported"));
            import(context, path, name);
        }
    }
}

bool importFinished(const LibraryContext& context,
                    TempRecordsFileArray& records,
                    const QString& fileName,
                    int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        pass(context, records);
        const QString state = records.withLock([&](QList<TempRecordsFile>& list) {
            for (const TempRecordsFile& record : list) {
                if (record.fileName == fileName)
                    return record.state;
            }
            return QString();
        });
        if (state == QLatin1String("HasBeenImported"))
            return !QFileInfo::exists(AppPaths::folder(AppPaths::Folder::TempRecords) + fileName);
        if (state.isEmpty() || waited.elapsed() > timeoutMs)
            return false;
        if (state == QLatin1String("RecordingNow"))
            QThread::msleep(100);
    }
}

} // namespace RecordingsImporter
