// Feeds a generated capture of one million frames holding 100,000 HTTP requests through the
// request analyser, once with its indexes and once walking every array, and times
// `tshark -r FILE -Y http` on the same file as the peer's figure.
//
//   ninja -C build capture_analyser_bench && build/bench/capture_analyser_bench [--keep FILE] [--indexed-only]
//                                                                                  [--rounds N]
//
// --indexed-only times the indexed analyser alone (no walk, no tshark): the run to profile.
// --rounds N analyses the capture N times in this process (default 1). The first round pays for
// the heap's growth (page faults), which later rounds find ready: take the median of separate
// runs for a figure.

#include "BenchPlainTraffic.h"
#include "BenchTools.h"
#include "base/Texts.h"
#include "capture/RequestAnalyser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool writePcap(const BenchFrames& capture, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const auto le32 = [&](quint32 v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto le16 = [&](quint16 v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    le32(0xA1B2C3D4);
    le16(2);
    le16(4);
    le32(0);
    le32(0);
    le32(65536);
    le32(1);
    for (qsizetype f = 0; f < capture.frames(); ++f) {
        const auto length = quint32(capture.offsets[size_t(f + 1)] - capture.offsets[size_t(f)]);
        le32(quint32(1700000000 + f / 100000));
        le32(quint32(f % 100000) * 10);
        le32(length);
        le32(length);
        file.write(capture.bytes.constData() + capture.offsets[size_t(f)], length);
    }
    return true;
}

struct Run
{
    double seconds = 0;          // all frames (0 when only the last tenth was timed)
    double lastTenthSeconds = 0; // the last 10% of the frames, with 90,000 requests known
    qsizetype candidates = 0;
    qsizetype requests = 0;
};

// Times the analyser over all frames, or (lastTenthOnly) builds the state of the first 90%
// through the indexes and times only the last tenth with the given lookup: both lookups keep
// identical state, and walking every array for the first 900,000 frames would only repeat the
// same quadratic growth at smaller sizes.
Run analyse(const BenchFrames& capture, RequestAnalyser::Lookup lookup, bool lastTenthOnly = false)
{
    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    RequestAnalyser analyser(
        {gets, history, videoFiles, detected}, [] { return MediaFilterSettings::allOn(); },
        lastTenthOnly ? RequestAnalyser::Lookup::Indexed : lookup);
    analyser.setClock([] { return qint64(1700000000); });
    const auto* data = reinterpret_cast<const quint8*>(capture.bytes.constData());
    const qsizetype lastTenth = capture.frames() - capture.frames() / 10;
    const qint64 start = threadNanoseconds();
    qint64 lastTenthStart = 0;
    for (qsizetype f = 0; f < capture.frames(); ++f) {
        if (f == lastTenth) {
            analyser.setLookup(lookup);
            lastTenthStart = threadNanoseconds();
        }
        const qsizetype at = capture.offsets[size_t(f)];
        analyser.analyse(data + at, quint16(capture.offsets[size_t(f + 1)] - at));
    }
    const qint64 end = threadNanoseconds();
    return {lastTenthOnly ? 0.0 : double(end - start) / 1e9, double(end - lastTenthStart) / 1e9, videoFiles.size(),
            gets.size()};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Texts::init(QStringLiteral("EN"));
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("traffic.pcap"));
    const QStringList arguments = app.arguments();
    const qsizetype keep = arguments.indexOf(QLatin1String("--keep"));
    if (keep > 0 && keep + 1 < arguments.size())
        path = arguments.at(keep + 1);
    const bool indexedOnly = arguments.contains(QLatin1String("--indexed-only"));
    const qsizetype roundsAt = arguments.indexOf(QLatin1String("--rounds"));
    const int roundCount = roundsAt > 0 ? qBound(1, arguments.value(roundsAt + 1).toInt(), 100) : 1;

    const BenchFrames capture = generatePlainTraffic();
    if (!indexedOnly && !writePcap(capture, path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double frames = double(capture.frames());
    std::printf("times are CPU time of the analysing thread (tshark: its process)\n");
    std::printf("capture: %lld frames, %d requests, %.1f MB (%s)\n", static_cast<long long>(capture.frames()),
                kPlainRequests, double(capture.bytes.size()) / 1e6, indexedOnly ? "in memory" : qPrintable(path));

    std::vector<Run> rounds;
    for (int round = 0; round < roundCount; ++round) {
        rounds.push_back(analyse(capture, RequestAnalyser::Lookup::Indexed));
        const Run& run = rounds.back();
        std::printf("indexed: %.3f s, %.0f frames/s; last tenth %.0f frames/s; %lld requests, %lld candidates\n",
                    run.seconds, frames / run.seconds, frames / 10 / run.lastTenthSeconds,
                    static_cast<long long>(run.requests), static_cast<long long>(run.candidates));
    }
    std::sort(rounds.begin(), rounds.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    const Run indexed = rounds[rounds.size() / 2];
    std::vector<double> tenths;
    for (const Run& run : rounds)
        tenths.push_back(run.lastTenthSeconds);
    std::sort(tenths.begin(), tenths.end());
    const double rate = frames / indexed.seconds;
    const double lastTenthRate = frames / 10 / tenths[tenths.size() / 2];
    constexpr double kGoal = 1.2e6;
    // Under a flood of requests the analyser's arrays are full: a frame of the last tenth must
    // cost what an average frame costs.
    const double flood = lastTenthRate / rate;

    double peer = 0;
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (!indexedOnly) {
        const Run walk = analyse(capture, RequestAnalyser::Lookup::Walk, true);
        std::printf("walk:    last tenth %.3f s, %.0f frames/s; %lld requests, %lld candidates\n",
                    walk.lastTenthSeconds, frames / 10 / walk.lastTenthSeconds, static_cast<long long>(walk.requests),
                    static_cast<long long>(walk.candidates));
        std::printf("indexed vs walk over the last tenth (90,000-100,000 requests): %.1fx\n",
                    walk.lastTenthSeconds / tenths[tenths.size() / 2]);
        if (walk.candidates != indexed.candidates || walk.requests != indexed.requests)
            std::printf("MISMATCH between the lookups\n");
        if (tshark.isEmpty()) {
            std::printf("tshark: not installed\n");
        } else {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            process.setStandardErrorFile(QProcess::nullDevice());
            QElapsedTimer timer;
            timer.start();
            const double before = childrenSeconds();
            process.start(tshark, {QStringLiteral("-r"), path, QStringLiteral("-Y"), QStringLiteral("http")});
            process.waitForFinished(-1);
            peer = childrenSeconds() - before;
            std::printf("tshark -r FILE -Y http: %.3f s CPU (%.1f s wall, exit %d), %.0f frames/s\n", peer,
                        double(timer.elapsed()) / 1e3, process.exitCode(), frames / peer);
        }
    }

    std::printf("\nmeasure | peer | trawlix | ratio | goal\n");
    if (peer > 0) {
        std::printf("analyser rate | tshark -Y http %.0f frames/s | %.0f frames/s (median of %d) | %.1fx | "
                    ">= %.0f frames/s: %s\n",
                    frames / peer, rate, roundCount, peer / indexed.seconds, kGoal, rate >= kGoal ? "met" : "not met");
    } else {
        std::printf("analyser rate | (no peer run) | %.0f frames/s (median of %d) | - | >= %.0f frames/s: %s\n", rate,
                    roundCount, kGoal, rate >= kGoal ? "met" : "not met");
    }
    std::printf("flood ratio | the whole run %.0f frames/s | last tenth %.0f frames/s | %.2f | ~1 (>= 0.9): %s\n", rate,
                lastTenthRate, flood, flood >= 0.9 ? "met" : "not met");
    return 0;
}
