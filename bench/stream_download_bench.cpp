// Stream downloads against their peers. Makes an HLS programme of MINUTES minutes (120 by
// default: a 60 s 640x360 clip at 2 Mbit/s with AAC sound, encoded once and repeated with
// `-c copy`, in 6 s segments), serves it from nginx on 127.0.0.1 and downloads it into a finished
// MP4 with:
//   - `ffmpeg -i URL -c copy`,
//   - `yt-dlp --hls-prefer-native --concurrent-fragments 4`,
//   - Trawlix: the stream download (4 segments at a time, as the program runs it), whose
//     `ffmpeg -c copy` mux into MP4 reads the segment files while they download.
// Then compares the stream download's write rate with Trawlix's plain four-part download of the
// same bytes as one file. Wall times (the tools run on their own threads and processes); the
// files are made in a temporary folder removed at the end.
//
//   ninja -C build stream_download_bench && build/bench/stream_download_bench [MINUTES]
//   (BENCH_KEEP=1 keeps the temporary folder, to look at what was made)

#include "BenchTools.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "download/CandidateProbe.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "download/StreamDownload.h"
#include "support/NginxServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSegmentSeconds = 6;

QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The programme: one encoded minute, repeated by the concat demuxer and cut into segments.
bool makeProgramme(const QString& folder, int minutes, QString& error)
{
    const QString loop = folder + QStringLiteral("/loop.mp4");
    const ToolRun encode = runTool(
        QStringLiteral("ffmpeg"),
        words("-nostdin -v error -y -f lavfi -i testsrc=size=640x360:rate=25:duration=60 -f lavfi -i "
              "sine=frequency=440:duration=60 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 150 -keyint_min 150 "
              "-sc_threshold 0 -b:v 2M -minrate 2M -maxrate 2M -bufsize 2M -x264-params nal-hrd=cbr -c:a aac "
              "-b:a 128k") +
            QStringList{loop});
    QFile list(folder + QStringLiteral("/loop.txt"));
    if (!encode.ok || !list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("ffmpeg could not encode the clip: ") + QString::fromLocal8Bit(tail(encode.output));
        return false;
    }
    for (int i = 0; i < minutes; ++i)
        list.write("file '" + QFile::encodeName(loop) + "'\n");
    list.close();
    QDir().mkpath(folder + QStringLiteral("/www/hls"));
    const ToolRun segment = runTool(
        QStringLiteral("ffmpeg"), words("-nostdin -v error -y -f concat -safe 0 -i") + QStringList{list.fileName()} +
                                      words("-c copy -f hls -hls_time 6 -hls_playlist_type vod -hls_segment_filename") +
                                      QStringList{folder + QStringLiteral("/www/hls/seg%05d.ts"),
                                                  folder + QStringLiteral("/www/hls/index.m3u8")});
    if (!segment.ok) {
        error =
            QStringLiteral("ffmpeg could not segment the programme: ") + QString::fromLocal8Bit(tail(segment.output));
        return false;
    }
    return true;
}

// The programme's segments in order as one file.
bool joinSegments(const QString& folder, const QString& file)
{
    QStringList segments = QDir(folder).entryList({QStringLiteral("seg*.ts")}, QDir::Files, QDir::Name);
    QFile out(file);
    if (segments.isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const QString& name : segments) {
        QFile in(folder + QLatin1Char('/') + name);
        if (!in.open(QIODevice::ReadOnly) || out.write(in.readAll()) != in.size())
            return false;
    }
    return out.flush();
}

double durationOf(const QString& file)
{
    const ToolRun probe =
        runTool(QStringLiteral("ffprobe"),
                words("-v quiet -show_entries format=duration -of default=nw=1:nk=1") + QStringList{file});
    bool ok = false;
    const double seconds = probe.output.trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

qint64 bytesUnder(const QString& folder)
{
    qint64 bytes = 0;
    for (const QString& file : filesUnder(folder))
        bytes += QFileInfo(file).size();
    return bytes;
}

void syncFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::close(fd);
        }
    }
}

double processSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lets the disk settle between runs, so that one run's write-back does not slow the next.
void settle()
{
    ::sync();
    QThread::sleep(5);
}

struct Result
{
    bool ok = false;
    double seconds = 0;    // wall, to the finished file
    double cpuSeconds = 0; // this process and its children
    double durationSeconds = 0;
    QString output;
};

Result runPeer(const QString& program, const QStringList& arguments, const QString& output)
{
    Result result;
    const ToolRun run = runTool(program, arguments);
    result.seconds = run.wallSeconds;
    result.cpuSeconds = run.cpuSeconds;
    result.output = output;
    result.durationSeconds = durationOf(output);
    result.ok = run.ok && result.durationSeconds > 0;
    if (!result.ok)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), tail(run.output).constData());
    return result;
}

struct StreamRun
{
    Result result;
    double segmentsSeconds = 0; // until the last segment was written
    double muxTailSeconds = 0;  // from the last segment to the finished file
    double onDiskSeconds = 0;   // the segments, then flushed to the disk
    qint64 segmentBytes = 0;
    int segments = 0;
};

// The stream download as the program runs it: the segments, muxed into the finished file by
// ffmpeg while they download.
StreamRun runTrawlixStream(const QString& url, const QString& folder, const QString& output)
{
    StreamRun run;
    VideoFile record;
    record.url = url;
    record.stream = VideoFile::Stream::Hls;
    record.userAgent = QStringLiteral("Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0");
    StreamDownload download(record, folder);
    std::mutex mutex;
    QElapsedTimer timer;
    const double cpuBefore = processSeconds() + childrenSeconds();
    timer.start();
    const StreamDownload::Result downloaded = download.run([&](const StreamDownload::Progress& progress) {
        std::lock_guard lock(mutex);
        run.segments = progress.total;
        if (progress.done == progress.total)
            run.segmentsSeconds = double(timer.nsecsElapsed()) / 1e9;
        return true;
    });
    run.result.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.muxTailSeconds = run.result.seconds - run.segmentsSeconds;
    run.result.cpuSeconds = processSeconds() + childrenSeconds() - cpuBefore;
    if (downloaded.outcome != StreamDownload::Outcome::Done) {
        std::fprintf(stderr, "the stream download failed: %s\n", qPrintable(downloaded.reason));
        return run;
    }
    QStringList segments = filesUnder(folder);
    segments.removeAll(downloaded.muxedFile);
    for (const QString& segment : segments)
        run.segmentBytes += QFileInfo(segment).size();
    // The write rate: the segments, flushed (timed apart from the mux above).
    QElapsedTimer flush;
    flush.start();
    syncFiles(segments);
    run.onDiskSeconds = run.segmentsSeconds + double(flush.nsecsElapsed()) / 1e9;
    QFile::remove(output);
    QFile::rename(downloaded.muxedFile, output);
    QDir(folder).removeRecursively();
    run.result.output = output;
    run.result.durationSeconds = durationOf(output);
    run.result.ok = run.result.durationSeconds > 0;
    return run;
}

struct PlainRun
{
    bool ok = false;
    double seconds = 0;       // the four parts written
    double onDiskSeconds = 0; // and flushed
};

// Trawlix's plain download of one file, in four parts, as download_bench runs it.
PlainRun runTrawlixPlain(const QString& url, qint64 size)
{
    PlainRun run;
    VideoFileArray records;
    DownloadRows rows(records);
    DownloadWorkers workers(records, rows);
    CandidateProbe probe(records, rows, workers);
    probe.setAccelerator([] { return true; });
    VideoFile record;
    record.state = VideoFile::State::New;
    record.baseName = QStringLiteral("1800000001");
    record.url = url;
    record.extension = QStringLiteral(".ts");
    const qsizetype index = records.append(record);
    const QString temp = AppPaths::folder(AppPaths::Folder::Temp) + record.baseName;
    const QStringList parts = {temp + u"_1"_qs, temp + u"_2"_qs, temp + u"_3"_qs, temp + u"_4"_qs};
    std::atomic<bool> completed{false};
    workers.setAssemblyHook([&completed](qsizetype) { completed = true; });
    QElapsedTimer timer;
    timer.start();
    probe.probe(index);
    workers.waitForIdle(std::chrono::minutes(30));
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    syncFiles(parts);
    run.onDiskSeconds = double(timer.nsecsElapsed()) / 1e9;
    qint64 written = 0;
    for (const QString& part : parts)
        written += QFileInfo(part).size();
    run.ok = completed && written == size;
    if (!run.ok)
        std::fprintf(stderr, "the plain download failed: %lld of %lld bytes\n", static_cast<long long>(written),
                     static_cast<long long>(size));
    return run;
}

QString seconds(double value)
{
    return QStringLiteral("%1 s").arg(value, 0, 'f', 1);
}

QString megabytesPerSecond(qint64 bytes, double secondsTaken)
{
    return QStringLiteral("%1 MB/s").arg(double(bytes) / 1e6 / secondsTaken, 0, 'f', 0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int minutes = qMax(1, app.arguments().value(1, QStringLiteral("120")).toInt());
    for (const char* tool : {"ffmpeg", "ffprobe", "yt-dlp"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(stderr, "%s is not installed\n", tool);
            return 1;
        }
    }
    qputenv("no_proxy", "127.0.0.1");
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_KEEP"));
    const QString root = dir.path();
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(root + u"/data"_qs);
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::Temp));
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::FavIcons));
    QDir().mkpath(root + u"/out"_qs);
    Settings settings(root + u"/data/Trawlix.conf"_qs);
    Settings::setInstance(&settings);

    QElapsedTimer making;
    making.start();
    QString error;
    if (!makeProgramme(root, minutes, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 programmeBytes = bytesUnder(root + u"/www/hls"_qs);
    const int segments = int(filesUnder(root + u"/www/hls"_qs).size()) - 1;
    std::printf("programme: %d min HLS, %d segments of %d s, %.0f MB (made in %.0f s); times are wall\n", minutes,
                segments, kSegmentSeconds, double(programmeBytes) / 1e6, double(making.elapsed()) / 1e3);

    NginxServer nginx(root + u"/www"_qs);
    nginx.setServerDirectives(u"types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; }\n"_qs);
    if (!nginx.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(nginx.error()));
        return 1;
    }
    const QString url = nginx.url(u"/hls/index.m3u8"_qs);
    const double expected = minutes * 60.0;
    const auto report = [&](const char* name, const Result& result) {
        std::printf("%-52s %8.1f s, %6.1f s CPU, %.1f s long%s\n", name, result.seconds, result.cpuSeconds,
                    result.durationSeconds,
                    std::abs(result.durationSeconds - expected) > kSegmentSeconds ? "  MISMATCH" : "");
    };

    settle();
    const Result ffmpeg = runPeer(u"ffmpeg"_qs,
                                  QStringList{u"-nostdin"_qs, u"-v"_qs, u"error"_qs, u"-y"_qs, u"-i"_qs, url} +
                                      words("-c copy") + QStringList{root + u"/out/ffmpeg.mp4"_qs},
                                  root + u"/out/ffmpeg.mp4"_qs);
    report("ffmpeg -i URL -c copy", ffmpeg);
    settle();
    const Result ytdlp =
        runPeer(u"yt-dlp"_qs,
                words("--ignore-config --no-progress --hls-prefer-native --concurrent-fragments 4 -o") +
                    QStringList{root + u"/out/yt-dlp.mp4"_qs, url},
                root + u"/out/yt-dlp.mp4"_qs);
    report("yt-dlp --hls-prefer-native --concurrent-fragments 4", ytdlp);
    settle();
    const StreamRun trawlix =
        runTrawlixStream(url, AppPaths::folder(AppPaths::Folder::Temp) + u"stream"_qs, root + u"/out/trawlix.mp4"_qs);
    report("trawlix stream download, muxed while downloading", trawlix.result);
    // The same bytes as one file, for the plain download.
    const QString joined = root + u"/www/joined.ts"_qs;
    if (!joinSegments(root + u"/www/hls"_qs, joined)) {
        std::fprintf(stderr, "could not join the programme's segments\n");
        return 1;
    }
    const qint64 joinedBytes = QFileInfo(joined).size();
    settle();
    const PlainRun plain = runTrawlixPlain(nginx.url(u"/joined.ts"_qs), joinedBytes);
    std::printf("%-52s %8.1f s (%.1f s on disk) for %.0f MB\n", "trawlix plain download, four parts", plain.seconds,
                plain.onDiskSeconds, double(joinedBytes) / 1e6);

    const bool ok = ffmpeg.ok && ytdlp.ok && trawlix.result.ok && plain.ok;
    if (!ok)
        std::printf("MISMATCH: a download failed\n");
    const Result& faster = ffmpeg.seconds <= ytdlp.seconds ? ffmpeg : ytdlp;
    const double ratio = faster.seconds / trawlix.result.seconds;
    printMeasure(
        QStringLiteral("a %1 min HLS (%2 segments, %3 MB) into a finished MP4")
            .arg(minutes)
            .arg(segments)
            .arg(double(programmeBytes) / 1e6, 0, 'f', 0),
        QStringLiteral("ffmpeg -c copy %1, yt-dlp --concurrent-fragments 4 %2; the faster %3")
            .arg(seconds(ffmpeg.seconds), seconds(ytdlp.seconds), seconds(faster.seconds)),
        QStringLiteral("trawlix %1 (segments %2, then the mux's end %3)")
            .arg(seconds(trawlix.result.seconds), seconds(trawlix.segmentsSeconds), seconds(trawlix.muxTailSeconds)),
        QStringLiteral("%1x the faster peer (segments alone %2x)")
            .arg(ratio, 0, 'f', 2)
            .arg(faster.seconds / trawlix.segmentsSeconds, 0, 'f', 2),
        QStringLiteral(">= 2x the faster of the two: %1").arg(metOrNot(ratio >= 2)));
    const double written = plain.seconds / trawlix.segmentsSeconds;
    const double onDisk = plain.onDiskSeconds / trawlix.onDiskSeconds;
    printMeasure(
        QStringLiteral("write rate of the same %1 MB").arg(double(joinedBytes) / 1e6, 0, 'f', 0),
        QStringLiteral("trawlix plain download, four parts: %1 written, %2 on disk")
            .arg(megabytesPerSecond(joinedBytes, plain.seconds), megabytesPerSecond(joinedBytes, plain.onDiskSeconds)),
        QStringLiteral("stream download (segments, each written once): %1 written, %2 on disk")
            .arg(megabytesPerSecond(trawlix.segmentBytes, trawlix.segmentsSeconds),
                 megabytesPerSecond(trawlix.segmentBytes, trawlix.onDiskSeconds)),
        QStringLiteral("%1 of the plain download's rate (on disk %2)").arg(written, 0, 'f', 2).arg(onDisk, 0, 'f', 2),
        QStringLiteral("the plain download's rate (>= 0.90 on disk): %1").arg(metOrNot(onDisk >= 0.9)));
    Settings::setInstance(nullptr);
    return ok ? 0 : 1;
}
