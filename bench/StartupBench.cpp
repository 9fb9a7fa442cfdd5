// From starting `trawlix` to its window painted with the library listed, for libraries of
// 2,000 and 20,000 files (durations, titles and pictures already made, as after a first start),
// and the resident memory at that moment. The program reports the first paint after its start
// scan when TRAWLIX_STARTUP_PROBE is set, and ends; this side measures from the spawn to that
// line. Each size runs once to warm up (the first start seeds the settings) and then three
// times; the median counts.
// Peer: the same program started on an empty library.
//
//     StartupBench [FILES...]        (default: 2000 20000)
//
// The platform is the environment's (QT_QPA_PLATFORM, DISPLAY); offscreen when none is set.
#include "BenchLibraryFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifndef TRAWLIX_PROGRAM
#define TRAWLIX_PROGRAM "trawlix"
#endif

namespace {

struct Start
{
    double seconds = -1; // spawn to the report line; -1 when it never came
    int rows = -1;
    double residentMiB = -1;
};

// A data folder with files named by capture time one day apart, so that the time filter the
// start chooses is "all" and every file is listed.
void makeLibrary(const QString& data, int files)
{
    for (const char* folder : {"Videos", "32x32", "16x16", "160x90", "Screens", "FavIcons"})
        QDir().mkpath(data + QLatin1Char('/') + QLatin1String(folder));
    fillBenchLibrary(data + QLatin1Char('/'), files, 3600, 86400);
}

Start startOnce(const QString& root, const QString& data)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"home", "config", "cache", "share", "runtime"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(name));
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/share"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("BROWSER"), QStringLiteral("/bin/true"));
    environment.insert(QStringLiteral("TRAWLIX_STARTUP_PROBE"), QStringLiteral("1"));
    environment.remove(QStringLiteral("TRAWLIX_HOME"));
    environment.remove(QStringLiteral("TRAWLIX_TRACE"));
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    program.start(QStringLiteral(TRAWLIX_PROGRAM), {QStringLiteral("--data-dir"), data});
    Start start;
    QByteArray out;
    while (timer.elapsed() < 120000 && program.state() != QProcess::NotRunning) {
        program.waitForReadyRead(100);
        out += program.readAllStandardOutput();
        if (out.contains("startup: ") && out.endsWith('\n')) {
            start.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
            break;
        }
    }
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
    }
    out += program.readAllStandardOutput();
    static const QRegularExpression line(QStringLiteral("with (\\d+) rows, resident (\\d+) KiB"));
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(out));
    if (match.hasMatch()) {
        start.rows = match.captured(1).toInt();
        start.residentMiB = match.captured(2).toDouble() / 1024.0;
    } else {
        start.seconds = -1;
    }
    return start;
}

// A warm-up start, then the median of three.
Start measure(const QString& root, const QString& data)
{
    startOnce(root, data);
    std::vector<Start> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(startOnce(root, data));
    std::sort(runs.begin(), runs.end(), [](const Start& a, const Start& b) { return a.seconds < b.seconds; });
    return runs[1];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {2000, 20000};

    QTemporaryDir peerDir;
    const Start peer = measure(peerDir.path(), peerDir.path() + QStringLiteral("/data"));
    if (peer.seconds < 0) {
        std::fprintf(stderr, "the program did not report its start (%s)\n", TRAWLIX_PROGRAM);
        return 1;
    }
    bool allMet = true;
    for (const int files : sizes) {
        QTemporaryDir dir;
        const QString data = dir.path() + QStringLiteral("/data");
        makeLibrary(data, files);
        const Start start = measure(dir.path(), data);
        if (start.seconds < 0 || start.rows != files) {
            std::fprintf(stderr, "%d files: no report or %d rows listed\n", files, start.rows);
            allMet = false;
            continue;
        }
        const double goal = files <= 2000 ? 0.5 : 2.0;
        const bool met = start.seconds < goal;
        allMet = allMet && met;
        std::printf("start to painted window, %d files: peer (empty library) %.3f s, trawlix %.3f s, ratio %.2f, "
                    "goal < %.1f s: %s\n",
                    files, peer.seconds, start.seconds, start.seconds / peer.seconds, goal, met ? "met" : "not met");
        std::printf("resident memory after that start, %d files: peer (empty library) %.1f MiB, trawlix %.1f MiB, "
                    "ratio %.2f, goal: reported (%.1f KiB a file)\n",
                    files, peer.residentMiB, start.residentMiB, start.residentMiB / peer.residentMiB,
                    (start.residentMiB - peer.residentMiB) * 1024.0 / files);
        std::fflush(stdout);
    }
    return allMet ? 0 : 1;
}
