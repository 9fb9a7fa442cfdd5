// Downloads 1 GiB from a local nginx with Trawlix's four-part and single modes, with curl and
// with aria2c -x4 -s4, and writes 1 GiB with dd into the same folder; prints each throughput
// and the ratios (dd copies the source file, which sits in the page cache). Every figure includes flushing the written
// files to the disk (fdatasync), and is also given up to the moment the writer finished (page cache).
//
// Usage: download_bench [FOLDER] [ROUNDS] [--only NAME]...
//   FOLDER defaults to ./download-bench (needs ~6 GiB); ROUNDS to 3. --only runs the named
//   measures alone ("dd (disk)", "trawlix four parts", ...), e.g. under strace or perf.

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "download/CandidateProbe.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "support/NginxServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 FileSize = qint64(1) << 30;

// Outputs stay until the round ends, so that every writer of a round gets blocks of the disk
// that nothing wrote shortly before. On a thin-provisioned virtual disk (mounted with
// "discard"), rewriting just-freed blocks is several times faster than writing fresh ones,
// which would favour whoever runs after a deletion.
QStringList g_roundOutputs;

void endRound()
{
    for (const QString& path : std::as_const(g_roundOutputs))
        QFile::remove(path);
    g_roundOutputs.clear();
    ::sync();
    QThread::sleep(8); // the file system discards the freed blocks meanwhile
}

struct Timing
{
    double writeSeconds = 0; // until the writer was done
    double syncSeconds = 0;  // until its files were on the disk
    bool ok = false;
};

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

qint64 totalSize(const QStringList& paths)
{
    qint64 size = 0;
    for (const QString& path : paths)
        size += QFileInfo(path).size();
    return size;
}

void removeFiles(const QStringList& paths)
{
    for (const QString& path : paths)
        QFile::remove(path);
}

Timing runProcess(const QString& program, const QStringList& arguments, const QStringList& outputs)
{
    removeFiles(outputs);
    ::sync();
    Timing timing;
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return timing;
    }
    timing.writeSeconds = timer.nsecsElapsed() / 1e9;
    syncFiles(outputs);
    timing.syncSeconds = timer.nsecsElapsed() / 1e9;
    timing.ok = totalSize(outputs) == FileSize;
    g_roundOutputs << outputs;
    return timing;
}

Timing runTrawlix(const QString& url, bool fourParts, int round)
{
    VideoFileArray records;
    DownloadRows rows(records);
    DownloadWorkers workers(records, rows);
    CandidateProbe probe(records, rows, workers);
    probe.setAccelerator([fourParts] { return fourParts; });
    const QString base = QString::number(1800000000 + round * 2 + (fourParts ? 1 : 0));
    VideoFile record;
    record.state = VideoFile::State::New;
    record.baseName = base;
    record.url = url;
    record.extension = QStringLiteral(".mp4");
    const qsizetype index = records.append(record);

    const QString temp = AppPaths::folder(AppPaths::Folder::Temp) + base;
    const QStringList outputs = fourParts
                                    ? QStringList{temp + u"_1"_qs, temp + u"_2"_qs, temp + u"_3"_qs, temp + u"_4"_qs}
                                    : QStringList{temp + u"_"_qs};
    removeFiles(outputs);
    ::sync();
    std::atomic<bool> completed{false};
    workers.setAssemblyHook([&completed](qsizetype) { completed = true; });
    Timing timing;
    QElapsedTimer timer;
    timer.start();
    probe.probe(index);
    workers.waitForIdle(std::chrono::minutes(10));
    timing.writeSeconds = timer.nsecsElapsed() / 1e9;
    syncFiles(outputs);
    timing.syncSeconds = timer.nsecsElapsed() / 1e9;
    timing.ok = completed && totalSize(outputs) == FileSize && records.at(index)->receivedBytes == FileSize;
    g_roundOutputs << outputs;
    return timing;
}

bool writeSource(const QString& path)
{
    if (QFileInfo(path).size() == FileSize)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qint64 written = 0; written < FileSize; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QStringList only;
    for (qsizetype i = args.indexOf(QLatin1String("--only")); i > 0 && i + 1 < args.size();
         i = args.indexOf(QLatin1String("--only"))) {
        only << args.at(i + 1);
        args.remove(i, 2);
    }
    const QString folder = QDir(args.value(1, QStringLiteral("download-bench"))).absolutePath();
    const int rounds = qMax(1, args.value(2, QStringLiteral("3")).toInt());
    qputenv("no_proxy", "127.0.0.1");
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(folder);
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::Temp));
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::FavIcons));
    QDir().mkpath(folder + u"/www"_qs);
    Settings settings(folder + u"/Trawlix.conf"_qs);
    Settings::setInstance(&settings);

    std::printf("writing the 1 GiB source into %s ...\n", qPrintable(folder));
    if (!writeSource(folder + u"/www/big.bin"_qs)) {
        std::fprintf(stderr, "cannot write the source file\n");
        return 1;
    }
    NginxServer nginx(folder + u"/www"_qs);
    if (!nginx.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(nginx.error()));
        return 1;
    }
    const QString url = nginx.url(u"/big.bin"_qs);
    const QString out = folder + u"/Temp/"_qs;

    using Runner = std::function<Timing(int)>;
    const std::vector<std::pair<const char*, Runner>> runners = {
        {"dd (disk)",
         [&](int) {
             // The source file (in the page cache after the first read), not /dev/zero: this
             // virtual disk writes zero blocks far slower than ordinary data.
             return runProcess(u"dd"_qs,
                               {u"if="_qs + folder + u"/www/big.bin"_qs, u"of="_qs + out + u"dd.out"_qs, u"bs=1M"_qs,
                                u"count=1024"_qs, u"status=none"_qs},
                               {out + u"dd.out"_qs});
         }},
        {"trawlix four parts", [&](int round) { return runTrawlix(url, true, round); }},
        {"trawlix single", [&](int round) { return runTrawlix(url, false, round); }},
        {"curl",
         [&](int) {
             return runProcess(u"curl"_qs, {u"-s"_qs, u"-o"_qs, out + u"curl.out"_qs, url}, {out + u"curl.out"_qs});
         }},
        {"aria2c -x4 -s4",
         [&](int) {
             return runProcess(u"aria2c"_qs,
                               {u"-q"_qs, u"-x4"_qs, u"-s4"_qs, u"--allow-overwrite=true"_qs,
                                u"--auto-file-renaming=false"_qs, u"-d"_qs, out, u"-o"_qs, u"aria.out"_qs, url},
                               {out + u"aria.out"_qs});
         }},
    };

    std::map<std::string, std::vector<double>> written;
    std::map<std::string, std::vector<double>> synced;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, run] : runners) {
            if (!only.isEmpty() && !only.contains(QLatin1String(name)))
                continue;
            const Timing timing = run(round);
            if (!timing.ok) {
                std::fprintf(stderr, "%s: run %d failed\n", name, round + 1);
                continue;
            }
            written[name].push_back(1024.0 / timing.writeSeconds);
            synced[name].push_back(1024.0 / timing.syncSeconds);
            std::printf("round %d  %-20s %8.0f MiB/s written  %8.0f MiB/s on disk\n", round + 1, name,
                        1024.0 / timing.writeSeconds, 1024.0 / timing.syncSeconds);
            std::fflush(stdout);
        }
        endRound();
    }

    std::printf("\nmedian of %d rounds (MiB/s)      written   on disk\n", rounds);
    for (const auto& [name, run] : runners)
        std::printf("  %-20s %16.0f %9.0f\n", name, median(written[name]), median(synced[name]));
    const auto ratio = [&](const char* a, const char* b, std::map<std::string, std::vector<double>>& table) {
        const double bottom = median(table[b]);
        return bottom > 0 ? median(table[a]) / bottom : 0.0;
    };
    std::printf("\nratios                                        written   on disk\n");
    for (const auto& [a, b] :
         {std::pair{"trawlix four parts", "aria2c -x4 -s4"}, std::pair{"trawlix four parts", "curl"},
          std::pair{"trawlix four parts", "dd (disk)"}, std::pair{"trawlix single", "curl"},
          std::pair{"trawlix four parts", "trawlix single"}}) {
        std::printf("  %-18s / %-20s %9.2f %9.2f\n", a, b, ratio(a, b, written), ratio(a, b, synced));
    }
    const double onDisk = ratio("trawlix four parts", "dd (disk)", synced);
    std::printf("\nmeasure | peer | trawlix | ratio | goal\n");
    std::printf("four-part download on disk | dd %.0f MiB/s | %.0f MiB/s (median of %d) | %.2f | >= 0.90 of dd: %s\n",
                median(synced["dd (disk)"]), median(synced["trawlix four parts"]), rounds, onDisk,
                onDisk >= 0.9 ? "met" : "not met");
    std::printf("four-part download on disk | aria2c -x4 %.0f MiB/s | %.0f MiB/s (median of %d) | %.2f | faster: %s\n",
                median(synced["aria2c -x4 -s4"]), median(synced["trawlix four parts"]), rounds,
                ratio("trawlix four parts", "aria2c -x4 -s4", synced),
                ratio("trawlix four parts", "aria2c -x4 -s4", synced) > 1 ? "met" : "not met");
    Settings::setInstance(nullptr);
    return 0;
}
