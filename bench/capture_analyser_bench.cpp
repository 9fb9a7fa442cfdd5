// Feeds a generated capture of one million frames holding 100,000 HTTP requests through the
// request analyser, once with its indexes and once walking every array, and times
// `tshark -r FILE -Y http` on the same file as the peer's figure.
//
//   ninja -C build capture_analyser_bench && build/bench/capture_analyser_bench [--keep FILE]

#include "BenchFrames.h"
#include "base/Texts.h"
#include "capture/RequestAnalyser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <ctime>
#include <sys/resource.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int kRequests = 100000;
constexpr int kFramesPerRequest = 10;
constexpr int kPayload = 1448;

BenchFrames generate()
{
    QRandomGenerator random(7);
    BenchFrames capture;
    QByteArray body(kPayload * 8, '\0');
    for (char& c : body)
        c = char(random.bounded(256));
    for (int i = 0; i < kRequests; ++i) {
        const auto client = quint16(32768 + i % 28232);
        const quint16 server = i % 3 ? 80 : 8080;
        const auto sequence = random.generate();
        const int kind = random.bounded(100);
        const char* extension = kind < 15   ? ".html"
                                : kind < 90 ? ".js"
                                : kind < 95 ? ".mp4"
                                : kind < 97 ? ".mp3"
                                            : ".bin";
        const char* type = kind < 15   ? "text/html; charset=utf-8"
                           : kind < 90 ? "application/javascript"
                           : kind < 95 ? "video/mp4"
                           : kind < 97 ? "audio/mpeg"
                                       : "application/octet-stream";
        const QByteArray request =
            "GET /static/" + QByteArray::number(i) + "/item" + extension + " HTTP/1.1\r\nHost: site" +
            QByteArray::number(i % 500) +
            ".test\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0\r\n"
            "Accept: */*\r\nAccept-Language: en-US,en;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
            "Referer: http://site0.test/index.html\r\nCookie: session=0123456789abcdef; theme=dark\r\n"
            "Connection: keep-alive\r\n\r\n";
        int frames = 0;
        if (i % 50 == 0) { // a request split over two segments
            const qsizetype cut = request.size() / 2;
            appendLoopbackFrame(capture, client, server, sequence, request.left(cut));
            appendLoopbackFrame(capture, client, server, sequence + quint32(cut), request.mid(cut));
            frames = 2;
        } else {
            appendLoopbackFrame(capture, client, server, sequence, request);
            frames = 1;
        }
        appendLoopbackFrame(capture, server, client, 9000, {}); // acknowledgement
        const QByteArray header = "HTTP/1.1 200 OK\r\nServer: nginx\r\nDate: Tue, 08 Dec 2026 00:00:00 GMT\r\n"
                                  "Content-Type: " +
                                  QByteArray(type) +
                                  "\r\nContent-Length: 50000\r\n"
                                  "Connection: keep-alive\r\n\r\n";
        appendLoopbackFrame(capture, server, client, 9001, header + body.mid(0, kPayload - header.size()));
        for (frames += 2; frames < kFramesPerRequest - 1; ++frames) {
            const int slice = random.bounded(7);
            appendLoopbackFrame(capture, server, client, 9001 + quint32(frames) * kPayload,
                                body.mid(slice * kPayload, kPayload));
        }
        appendLoopbackFrame(capture, client, server, sequence + quint32(request.size()), {});
    }
    return capture;
}

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

// CPU time of this thread: the machine is shared, so wall time would measure the neighbours.
qint64 threadNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// User and system time of the children waited for so far.
double childrenSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

    const BenchFrames capture = generate();
    if (!writePcap(capture, path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double frames = double(capture.frames());
    std::printf("times are CPU time of the analysing thread (tshark: its process)\n");
    std::printf("capture: %lld frames, %d requests, %.1f MB (%s)\n", static_cast<long long>(capture.frames()),
                kRequests, double(capture.bytes.size()) / 1e6, qPrintable(path));

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
