#include "library/StreamAssembly.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "download/DownloadRows.h"
#include "library/CapturedFileAssembly.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace StreamAssembly {

QString containerFor(const StreamPlan& plan)
{
    QStringList codecs = plan.variant.codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (plan.audio)
        codecs += plan.audio->codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const TrackPlan& track : plan.tracks)
        codecs += track.codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& codec : codecs) {
        const QString name = codec.trimmed().section(QLatin1Char('.'), 0, 0).toLower();
        if (name == QLatin1String("vp8") || name == QLatin1String("vorbis") || name == QLatin1String("theora") ||
            name == QLatin1String("wvtt"))
            return QStringLiteral(".mkv");
    }
    return QStringLiteral(".mp4");
}

QStringList muxArguments(const QStringList& trackFiles)
{
    QStringList arguments;
    for (qsizetype i = 1; i < trackFiles.size(); ++i)
        arguments << QStringLiteral("-i") << trackFiles.at(i);
    if (trackFiles.size() >= 2)
        arguments << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a");
    else
        arguments << QStringLiteral("-map") << QStringLiteral("0");
    arguments << QStringLiteral("-c") << QStringLiteral("copy");
    return arguments;
}

Outcome
run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex, const StreamDownload::Result& result)
{
    const std::optional<VideoFile> record = context.videoFiles.at(recordIndex);
    bool numeric = false;
    const qint64 seconds = record ? record->baseName.toLongLong(&numeric) : 0;
    if (!record || !numeric || result.trackFiles.isEmpty()) {
        rows.setFailed(recordIndex, QStringLiteral("Mux err"));
        return Outcome::PlacingFailed;
    }
    trace(QStringLiteral("Start building stream: ") + record->baseName);
    rows.setCaption(tx(u"..Processing "));
    const QString first = containerFor(result.plan);
    LibraryTarget::Placement placed;
    for (const QString& extension : {first, QStringLiteral(".mkv")}) {
        placed = LibraryTarget::convertIn({result.trackFiles.first(), seconds, extension, false},
                                          muxArguments(result.trackFiles));
        if (placed.placed() || extension == QLatin1String(".mkv"))
            break;
        trace(QStringLiteral("Stream mux into %1 failed: %2").arg(extension, placed.why));
    }
    rows.setCaption(Texts::displayName());
    if (!placed.placed()) {
        trace(QStringLiteral("Stream mux failed: ") + placed.why);
        rows.setFailed(recordIndex, QStringLiteral("Mux err"));
        return Outcome::PlacingFailed;
    }
    const VideoFile titled = CapturedFileAssembly::awaitTitle(context, recordIndex, *record);
    TagStore::write(placed.path, QStringLiteral("title"), titled.title);
    TagStore::write(placed.path, QStringLiteral("author"), titled.pageAddress);
    LibraryInserter::insert(context, placed.path,
                            CapturedFileAssembly::iconNameFor(titled.pageAddress, QStringLiteral(".mp4")));
    // A live recording that ended before the stream did (a full disk, a server gone) says why.
    if (result.live && !result.reason.isEmpty() && context.notify)
        context.notify(result.reason);
    // The tracks are in the library now: their folder goes.
    QDir(QFileInfo(result.trackFiles.first()).absolutePath()).removeRecursively();
    rows.remove(recordIndex);
    return Outcome::Registered;
}

} // namespace StreamAssembly
