// Scan of a library whose durations are cached: 2,000 files, each with title, author and
// "comments" tags and its pictures already made. The scan must start no ffmpeg at all.
// Peer: the bare floor of the same work, a directory listing with the three tag reads per file.
#include "BenchDataFolder.h"
#include "BenchLibraryFiles.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "library/LibraryContext.h"
#include "library/LibraryScan.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kFiles = 2000;

int countLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    Settings settings(root + QStringLiteral("Trawlix.conf"));
    prepareBenchDataFolder(root, settings,
                           {QStringLiteral("Videos"), QStringLiteral("Screens"), QStringLiteral("32x32"),
                            QStringLiteral("16x16"), QStringLiteral("160x90")});
    // Every ffmpeg start would be counted here (the data folder is searched before PATH).
    writeBenchFile(root + QStringLiteral("ffmpeg"),
                   "#!/bin/sh\necho run >> \"" + QFile::encodeName(root) + "ffmpeg-runs\"\nexec \"" +
                       QFile::encodeName(QStandardPaths::findExecutable(QStringLiteral("ffmpeg"))) + "\" \"$@\"\n");
    QFile::setPermissions(root + QStringLiteral("ffmpeg"), QFile::ReadOwner | QFile::ExeOwner);

    fillBenchLibrary(root, kFiles, 0, 60);

    // The peer: list the folder and read the three tags of every file.
    QElapsedTimer timer;
    timer.start();
    int peerRows = 0;
    for (const QFileInfo& entry : QDir(root + QStringLiteral("Videos")).entryInfoList(QDir::Files, QDir::Unsorted)) {
        const QString path = entry.absoluteFilePath();
        peerRows += !TagStore::read(path, QStringLiteral("title")).isEmpty();
        TagStore::read(path, QStringLiteral("comments"));
        TagStore::read(path, QStringLiteral("author"));
    }
    const double peerSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    // A start of the program: empty arrays and table. The icons of the rows a window shows are
    // read as those rows are painted: the first screenful (30 rows) is counted here.
    constexpr int kScreenRows = 30;
    MediaTableModel table;
    ImagesIndexArray indexes;
    MP3FileArray mp3;
    VideoFileArray videoFiles;
    const LibraryContext context{table, indexes, mp3, videoFiles};
    timer.restart();
    const LibraryScan::Result first = LibraryScan::run(context, {QStringLiteral("all"), {}});
    int painted = 0;
    for (int row = 0; row < kScreenRows && row < table.rowCount(); ++row)
        painted += !table.index(row, 0).data(Qt::DecorationRole).value<QImage>().isNull();
    const double startSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    // A filter change: the table's arrays are filled already.
    timer.restart();
    LibraryScan::run(context, {QStringLiteral("30"), {}});
    const double rescanSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    const int ffmpegStarts = countLines(root + QStringLiteral("ffmpeg-runs"));
    const double goal = 0.15;
    std::printf("library scan at start, %d files with cached durations, first %d icons read: peer (listing + 3 tag "
                "reads a file) %.3f s, trawlix %.3f s, ratio %.2f, goal < %.2f s: %s\n",
                kFiles, painted, peerSeconds, startSeconds, startSeconds / peerSeconds, goal,
                startSeconds < goal ? "met" : "not met");
    std::printf("library rescan (filter change), %d files: peer %.3f s, trawlix %.3f s, ratio %.2f, goal: no worse "
                "than at start\n",
                kFiles, peerSeconds, rescanSeconds, rescanSeconds / peerSeconds);
    std::printf("  rows listed %d, durations measured %d, ffmpeg starts %d (peer rows %d)\n", table.rowCount(),
                first.measured, ffmpegStarts, peerRows);
    Settings::setInstance(nullptr);
    return ffmpegStarts == 0 && first.listed == kFiles ? 0 : 1;
}
