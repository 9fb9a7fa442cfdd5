#include "library/StreamAssembly.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "download/DownloadRows.h"
#include "download/StreamMux.h"
#include "library/CapturedFileAssembly.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace StreamAssembly {

namespace {

// The programme's length as its plan gives it, in hundredths of a second (-1: unknown), and how
// far the muxed file may be from it: one segment (players and muxers cut at its edges) and the
// usual rounding.
qint64 programmeCentis(const StreamPlan& plan)
{
    return plan.duration > 0 ? qint64(plan.duration * 100) : -1;
}

qint64 slackCentis(const StreamPlan& plan)
{
    double longest = 0;
    for (const TrackPlan& track : plan.tracks) {
        for (const SegmentRequest& segment : track.segments)
            longest = std::max(longest, segment.duration);
    }
    const qint64 expected = std::max<qint64>(0, programmeCentis(plan));
    return LibraryTarget::DurationSlackCentis + expected / 100 + qint64(longest * 100);
}

LibraryTarget::Placement placeMuxed(const StreamDownload::Result& result, qint64 seconds)
{
    const QString extension = QLatin1Char('.') + QFileInfo(result.muxedFile).suffix();
    return LibraryTarget::takeIn({result.muxedFile, seconds, extension, false}, programmeCentis(result.plan),
                                 slackCentis(result.plan));
}

// A live recording's tracks, muxed here.
LibraryTarget::Placement placeTracks(const StreamDownload::Result& result, qint64 seconds)
{
    const QString first = StreamMux::containerFor(result.plan);
    LibraryTarget::Placement placed;
    for (const QString& extension : {first, QStringLiteral(".mkv")}) {
        placed = LibraryTarget::convertIn({result.trackFiles.first(), seconds, extension, false},
                                          StreamMux::muxArguments(result.trackFiles));
        if (placed.placed() || extension == QLatin1String(".mkv"))
            break;
        trace(QStringLiteral("Stream mux into %1 failed: %2").arg(extension, placed.why));
    }
    return placed;
}

} // namespace

Outcome
run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex, const StreamDownload::Result& result)
{
    const std::optional<VideoFile> record = context.videoFiles.at(recordIndex);
    bool numeric = false;
    const qint64 seconds = record ? record->baseName.toLongLong(&numeric) : 0;
    if (!record || !numeric || (result.muxedFile.isEmpty() && result.trackFiles.isEmpty())) {
        rows.setFailed(recordIndex, QStringLiteral("Mux err"));
        return Outcome::PlacingFailed;
    }
    trace(QStringLiteral("Start building stream: ") + record->baseName);
    rows.setCaption(tx(u"..Processing "));
    const LibraryTarget::Placement placed =
        result.muxedFile.isEmpty() ? placeTracks(result, seconds) : placeMuxed(result, seconds);
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
    // The programme is in the library now: the stream's folder goes.
    QDir(QFileInfo(result.muxedFile.isEmpty() ? result.trackFiles.first() : result.muxedFile).absolutePath())
        .removeRecursively();
    rows.remove(recordIndex);
    return Outcome::Registered;
}

} // namespace StreamAssembly
