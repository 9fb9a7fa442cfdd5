// Insertion of library files into the media table: the duration probe, the thumbnail, the
// still frame, the icons and the row, per file. Peer: one bare duration probe ("ffmpeg -i")
// of the same file, the cheapest of the five or six ffmpeg runs an insertion makes.
#include "BenchDataFolder.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "library/LibraryContext.h"
#include "library/LibraryInserter.h"
#include "library/MediaTableModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kFiles = 6;

bool makeVideo(const QString& path, int seconds)
{
    QProcess ffmpeg;
    ffmpeg.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=640x360:rate=25:duration=") + QString::number(seconds),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=duration=") + QString::number(seconds), QStringLiteral("-pix_fmt"),
                  QStringLiteral("yuv420p"), QStringLiteral("-c:v"), QStringLiteral("mpeg4"), path});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
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
                            QStringLiteral("16x16"), QStringLiteral("160x90"), QStringLiteral("FavIcons")});

    QStringList paths;
    for (int i = 0; i < kFiles; ++i) {
        paths << root + QStringLiteral("Videos/") + QString::number(1700000000 + i) + QStringLiteral(".mp4");
        if (!makeVideo(paths.last(), 20)) {
            std::fprintf(stderr, "ffmpeg could not make the test media\n");
            return 1;
        }
    }

    QElapsedTimer timer;
    timer.start();
    for (const QString& path : paths) {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::MergedChannels);
        probe.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                    {QStringLiteral("-nostdin"), QStringLiteral("-i"), path});
        probe.waitForFinished(-1);
    }
    const double peer = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kFiles;

    MediaTableModel table;
    ImagesIndexArray indexes;
    MP3FileArray mp3;
    VideoFileArray videoFiles;
    const LibraryContext context{table, indexes, mp3, videoFiles};
    timer.restart();
    for (const QString& path : paths)
        LibraryInserter::insert(context, path, QStringLiteral("DefaultVideo"));
    const double insert = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kFiles;

    std::printf("library insertion, %d files of 20 s 640x360 video\n", kFiles);
    std::printf("  peer (one duration probe):  %.1f ms per file\n", peer);
    std::printf("  insertion:                  %.1f ms per file, ratio to peer %.2f\n", insert, insert / peer);
    std::printf("  rows %d\n", table.rowCount());
    Settings::setInstance(nullptr);
    return table.rowCount() == kFiles ? 0 : 1;
}
