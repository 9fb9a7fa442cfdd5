#include "library/CapturedFileAssembly.h"

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "download/DownloadRows.h"
#include "library/AudioTitle.h"
#include "library/FfmpegCommand.h"
#include "library/FileCopy.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"
#include "tools/ToolRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace CapturedFileAssembly {
namespace {

constexpr int kTitleWaitMs = 3000;
constexpr qint64 kRemuxKeepsPercent = 90; // of the joined bytes, at least, in a remux

// Appends one part to the joined file.
bool appendPart(QFile& joined, const QString& partPath)
{
    QFile part(partPath);
    if (!part.open(QIODevice::ReadOnly))
        return false;
    for (;;) {
        const QByteArray block = part.read(FileCopy::BlockSize);
        if (block.isEmpty())
            return part.error() == QFileDevice::NoError;
        if (joined.write(block) != block.size())
            return false;
    }
}

// Joins "_" (single mode) or "_1" to "_4"; nothing is joined unless every part is there. The
// parts are deleted once all of them are in the joined file, so a failed write loses nothing.
bool join(const QString& joinedPath, const QString& partPrefix)
{
    QFile joined(joinedPath);
    if (!joined.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QStringList parts{partPrefix + QLatin1Char('_')};
    if (!QFileInfo::exists(parts.first())) {
        parts.clear();
        for (int i = 1; i <= 4; ++i) {
            parts << partPrefix + QLatin1Char('_') + QString::number(i);
            if (!QFileInfo(parts.last()).isReadable())
                return false;
        }
    }
    for (const QString& part : parts) {
        if (!appendPart(joined, part))
            return false;
    }
    if (!joined.flush())
        return false;
    for (const QString& part : parts)
        QFile::remove(part);
    return true;
}

bool usable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

// Makes the library file from the joined file as staged, a scratch file in "Temp/": ffmpeg's
// remux with "repairvideos", else (or when the remux fails) a copy. True when staged holds it.
bool stage(DownloadRows& rows, const QString& joined, const QString& staged)
{
    const qint64 size = QFileInfo(joined).size();
    if (Settings::instance().repairVideos()) {
        // "-y": the scratch file is this job's own, made empty for it.
        const ToolRunner::ToolResult result = ToolRunner::runToolResult(
            ffmpegCommand({QStringLiteral("-y"), QStringLiteral("-i"), joined, QStringLiteral("-vcodec"),
                           QStringLiteral("copy"), QStringLiteral("-acodec"), QStringLiteral("copy"), staged}),
            nullptr, 0, 3600 * 1000);
        // A stream copy keeps every packet, so only the container's share of the bytes may go.
        // ffmpeg refuses containers it cannot name (".bin"), and a failed run can leave a
        // file all the same; the download is not lost for that: the bytes go in as they came.
        if (result.code == ToolRunner::ToolResult::Code::Finished && result.exitCode == 0 && usable(staged) &&
            QFileInfo(staged).size() >= size * kRemuxKeepsPercent / 100)
            return true;
    }
    const QString processing = tx(u"..Processing ");
    const bool copied = FileCopy::copy(joined, staged, [&](int percent) {
        const QString caption = QString::number(percent) + QLatin1Char('%') + processing;
        rows.setCaption(caption);
    });
    rows.setCaption(Texts::displayName());
    return copied && QFileInfo(staged).size() == size;
}

} // namespace

QString iconNameFor(const QString& pageAddress, const QString& extension)
{
    QString rest = pageAddress;
    rest.remove(QStringLiteral("https://"));
    rest.remove(QStringLiteral("http://"));
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (!rest.isEmpty() && slash > 0)
        return rest.first(slash);
    const bool audio = extension == QLatin1String(".mp3") || extension == QLatin1String(".m4a");
    return audio ? QStringLiteral("DefaultAudio") : QStringLiteral("DefaultVideo");
}

Outcome run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex)
{
    const std::optional<VideoFile> record = context.videoFiles.at(recordIndex);
    if (!record) {
        rows.remove(recordIndex);
        return Outcome::PlacingFailed;
    }
    const QString base = record->baseName;
    const QString extension = record->extension;
    trace(QStringLiteral("Start building video: ") + base + extension);

    const QString tempFolder = AppPaths::folder(AppPaths::Folder::Temp);
    const QString joined = tempFolder + base;
    QString target;
    Outcome outcome = Outcome::Registered;
    if (!join(joined, tempFolder + base) || !usable(joined)) {
        outcome = Outcome::NothingJoined;
        QFile::remove(joined);
    } else {
        // Made beside the parts and moved in whole: "Videos/" never holds half a file, and a
        // file there from an earlier run is never replaced; the download then takes the next
        // free base instead. The joined file goes once the library file is in place.
        bool numeric = false;
        const qint64 seconds = base.toLongLong(&numeric);
        if (numeric) {
            const LibraryTarget::Placement placed =
                LibraryTarget::place({joined, seconds, extension, true}, [&](const QString& staged) {
                    return stage(rows, joined, staged) ? QString() : QStringLiteral("neither remux nor copy made it");
                });
            target = placed.path;
        }
        if (target.isEmpty()) {
            trace(QStringLiteral("Invalid builded file HANDLE: ") + base + extension);
            outcome = Outcome::PlacingFailed; // the joined file stays in "Temp/"
        }
    }

    if (outcome == Outcome::Registered) {
        const VideoFile titled = awaitTitle(context, recordIndex, *record);
        TagStore::write(target, QStringLiteral("title"), titled.title);
        TagStore::write(target, QStringLiteral("author"), titled.pageAddress);
        if (extension == QLatin1String(".mp3") || extension == QLatin1String(".m4a"))
            TagStore::write(target, QStringLiteral("title"), AudioTitle::read(target, &context.mp3Files));
        LibraryInserter::insert(context, target, iconNameFor(titled.pageAddress, extension));
    }
    rows.remove(recordIndex);
    return outcome;
}

VideoFile awaitTitle(const LibraryContext& context, qsizetype recordIndex, VideoFile record)
{
    const QString untitled = tx(u"Unnamed media file");
    QElapsedTimer waited;
    waited.start();
    while (record.title == untitled && !record.pageAddress.isEmpty() && !waited.hasExpired(kTitleWaitMs)) {
        QThread::msleep(50);
        if (const std::optional<VideoFile> now = context.videoFiles.at(recordIndex))
            record = *now;
    }
    return record;
}

} // namespace CapturedFileAssembly
