// Feeds a generated capture of one million frames holding 100,000 HTTP requests through the
// request analyser, once with its indexes and once walking every array, and times
// `tshark -r FILE -Y http` on the same file as the peer's figure.
//
//   ninja -C build capture_analyser_bench && build/bench/capture_analyser_bench [--keep FILE]

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
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--keep"))
        path = arguments.at(2);

    const BenchFrames capture = generatePlainTraffic();
    if (!writePcap(capture, path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double frames = double(capture.frames());
    std::printf("times are CPU time of the analysing thread (tshark: its process)\n");
    std::printf("capture: %lld frames, %d requests, %.1f MB (%s)\n", static_cast<long long>(capture.frames()),
                kPlainRequests, double(capture.bytes.size()) / 1e6, qPrintable(path));

    const Run indexed = analyse(capture, RequestAnalyser::Lookup::Indexed);
    std::printf("indexed: %.3f s, %.0f frames/s; last tenth %.0f frames/s; %lld requests, %lld candidates\n",
                indexed.seconds, frames / indexed.seconds, frames / 10 / indexed.lastTenthSeconds,
                static_cast<long long>(indexed.requests), static_cast<long long>(indexed.candidates));
    const Run walk = analyse(capture, RequestAnalyser::Lookup::Walk, true);
    std::printf("walk:    last tenth %.3f s, %.0f frames/s; %lld requests, %lld candidates\n", walk.lastTenthSeconds,
                frames / 10 / walk.lastTenthSeconds, static_cast<long long>(walk.requests),
                static_cast<long long>(walk.candidates));
    std::printf("indexed vs walk over the last tenth (90,000-100,000 requests): %.1fx\n",
                walk.lastTenthSeconds / indexed.lastTenthSeconds);
    if (walk.candidates != indexed.candidates || walk.requests != indexed.requests)
        std::printf("MISMATCH between the lookups\n");

    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty()) {
        std::printf("tshark: not installed\n");
        return 0;
    }
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    const double before = childrenSeconds();
    process.start(tshark, {QStringLiteral("-r"), path, QStringLiteral("-Y"), QStringLiteral("http")});
    process.waitForFinished(-1);
    const double peer = childrenSeconds() - before;
    std::printf("tshark -r FILE -Y http: %.3f s CPU (%.1f s wall, exit %d), %.0f frames/s; "
                "indexed analyser is %.1fx faster\n",
                peer, double(timer.elapsed()) / 1e3, process.exitCode(), frames / peer, peer / indexed.seconds);
    return 0;
}
