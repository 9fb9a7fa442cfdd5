#include "library/AudioTitle.h"

#include "base/AppPaths.h"
#include "library/AudioNames.h"
#include "library/FfmpegCommand.h"
#include "library/Id3Scan.h"
#include "library/LibraryFormat.h"
#include "library/RegularFile.h"
#include "tools/ToolRunner.h"

#include <QFile>
#include <QMutex>
#include <QStringDecoder>

namespace AudioTitle {
namespace {

QMutex g_dumpMutex;

AudioNames::Names dumpNames(const QString& filePath)
{
    QMutexLocker lock(&g_dumpMutex);
    const QString dumpPath = AppPaths::file(QStringLiteral("MetaFile.txt"));
    // A dump left by an earlier file must never name this one when ffmpeg writes nothing.
    QFile::remove(dumpPath);
    ToolRunner::runTool(ffmpegCommand({QStringLiteral("-y"), QStringLiteral("-i"), filePath, QStringLiteral("-f"),
                                       QStringLiteral("ffmetadata"), dumpPath}));
    QFile dump(dumpPath);
    if (!dump.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder utf8(QStringDecoder::Utf8);
    return AudioNames::parseMetadataDump(utf8(dump.readAll()));
}

QString cacheTimeOf(const QString& filePath, const MP3FileArray* mp3Files)
{
    if (!mp3Files)
        return {};
    return mp3Files->withLock([&](const QList<MP3File>& files) {
        for (const MP3File& file : files) {
            if (file.libraryPath == filePath)
                return LibraryFormat::captureTime(file.fileTime);
        }
        return QString();
    });
}

} // namespace

QString read(const QString& filePath, const MP3FileArray* mp3Files)
{
    Id3Names names;
    QFile file;
    if (RegularFile::open(file, filePath, QIODevice::ReadOnly))
        names = Id3Scan::scan(file.read(Id3Scan::HeadSize));
    file.close();
    if (names.title.isEmpty() && names.artist.isEmpty()) {
        const AudioNames::Names dumped = dumpNames(filePath);
        names.title = dumped.title;
        names.artist = dumped.artist;
    }
    return AudioNames::compose(names.title, names.artist, cacheTimeOf(filePath, mp3Files));
}

} // namespace AudioTitle
