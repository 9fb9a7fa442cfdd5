#include "library/RecordingsImporter.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "library/FileBusy.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"
#include "model/BaseNames.h"

#include <optional>

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
    // A base a captured download holds already is left to it.
    const qint64 seconds = BaseNames::firstFree(context.videoFiles.snapshot(), now).toLongLong();
    const QString copyStreams = video ? QStringLiteral("-vcodec") : QStringLiteral("-acodec");
    const QString processing = tx(u"..Processing ");
    const LibraryTarget::Placement placed = LibraryTarget::convertIn(
        {source, seconds, extension, true}, {copyStreams, QStringLiteral("copy")},
        [&](int percent) { context.caption(QString::number(percent) + QLatin1Char('%') + processing); });
    context.captionRestored();
    // A failed conversion leaves the recording in "TempRecords/" (the next start tries again)
    // and nothing in the library.
    if (!placed.placed())
        return;
    const QString& target = placed.path;
    TagStore::write(target, QStringLiteral("title"), prefix + when);
    LibraryInserter::insert(context, target, video ? QStringLiteral("DefaultVideo") : QStringLiteral("DefaultAudio"));
}

} // namespace

void pass(const LibraryContext& context, TempRecordsFileArray& records)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempRecords);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QString path = folder + name;
        const std::optional<TempRecordsFile::State> state = records.withLock([&](QList<TempRecordsFile>& list) {
            for (const TempRecordsFile& record : list) {
                if (record.fileName == name)
                    return std::optional(record.state);
            }
            list.append({TempRecordsFile::State::Unknown, name});
            return std::optional<TempRecordsFile::State>(); // looked at from the next pass
        });
        auto setState = [&](TempRecordsFile::State next) {
            records.withLock([&](QList<TempRecordsFile>& list) {
                for (TempRecordsFile& record : list) {
                    if (record.fileName == name)
                        record.state = next;
                }
            });
        };
        if (state == TempRecordsFile::State::Unknown || state == TempRecordsFile::State::RecordingNow) {
            setState(FileBusy::isOpenForWriting(path) ? TempRecordsFile::State::RecordingNow
                                                      : TempRecordsFile::State::HasBeenRecorded);
        } else if (state == TempRecordsFile::State::HasBeenRecorded) {
            // Marked first: whatever ffmpeg reports, a recording is imported once.
            setState(TempRecordsFile::State::HasBeenImported);
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
        const std::optional<TempRecordsFile::State> state = records.withLock([&](QList<TempRecordsFile>& list) {
            for (const TempRecordsFile& record : list) {
                if (record.fileName == fileName)
                    return std::optional(record.state);
            }
            return std::optional<TempRecordsFile::State>();
        });
        if (state == TempRecordsFile::State::HasBeenImported)
            return !QFileInfo::exists(AppPaths::folder(AppPaths::Folder::TempRecords) + fileName);
        if (!state || waited.elapsed() > timeoutMs)
            return false;
        if (state == TempRecordsFile::State::RecordingNow)
            QThread::msleep(100);
    }
}

} // namespace RecordingsImporter
