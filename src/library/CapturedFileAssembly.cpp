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
#include "library/TagStore.h"
#include "tools/ToolRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace CapturedFileAssembly {
namespace {

constexpr int kTitleWaitMs = 3000;

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

// The probe looks for the page title while the parts download; a short download can finish
// first. A file named "Unnamed media file" for good is worse than a moment's wait.
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

bool usable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

void place(DownloadRows& rows, const QString& joined, const QString& target)
{
    if (Settings::instance().repairVideos()) {
        ToolRunner::runTool(
            ffmpegCommand({QStringLiteral("-i"), joined, QStringLiteral("-vcodec"), QStringLiteral("copy"),
                           QStringLiteral("-acodec"), QStringLiteral("copy"), target}));
        // ffmpeg refuses containers it cannot name (".bin") or writes nothing for a stream it
        // cannot copy; the download is not lost for that: the bytes go in as they came.
        if (usable(target))
            return;
        QFile::remove(target);
    }
    const QString processing = tx(u"..Processing ");
    FileCopy::copy(joined, target, [&](int percent) {
        const QString caption = QString::number(percent) + QLatin1Char('%') + processing;
        rows.setCaption(caption);
    });
    rows.setCaption(Texts::displayName());
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
    const QString target = AppPaths::folder(AppPaths::Folder::Videos) + base + extension;
    Outcome outcome = Outcome::Registered;
    if (!join(joined, tempFolder + base) || !usable(joined)) {
        outcome = Outcome::NothingJoined;
    } else {
        place(rows, joined, target);
        if (!QFileInfo::exists(target))
            trace(QStringLiteral("Invalid builded file HANDLE: ") + base + extension);
        if (!usable(target)) {
            // An empty file would show up in every later scan as a broken entry.
            QFile::remove(target);
            outcome = Outcome::PlacingFailed;
        } else {
            // The library file holds every byte now; the scratch copy would only fill the disk.
            QFile::remove(joined);
        }
    }
    if (outcome == Outcome::NothingJoined)
        QFile::remove(joined);

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

} // namespace CapturedFileAssembly
