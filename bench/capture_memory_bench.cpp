// Resident memory over a long capture: generated browser traffic (pages, scripts, media from a
// fixed set of addresses, one new connection per request) fed at a steady rate, in real time,
// through the capture thread's path as the headless program runs it: the frame analyser with
// its record arrays and the wire decoder beside it. Prints the resident memory once the arrays
// are full (after a tenth of the run, at least 10 s) and at the end, and the growth per
// thousand requests; every array it keeps is bounded, so the two should match.
//
// Usage: capture_memory_bench [SECONDS] [FRAMES_PER_SECOND]
//   SECONDS defaults to 120; 3600 for the hour. FRAMES_PER_SECOND defaults to 20,000 (2,000
//   requests a second, ten frames each).

#include "BenchFrames.h"
#include "base/Texts.h"
#include "capture/RequestAnalyser.h"
#include "wire/ExchangeSink.h"
#include "wire/KeyLog.h"
#include "wire/WireDecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kFramesPerRequest = 10;
constexpr int kMediaAddresses = 500; // videos and songs are fetched again and again

// Requests first to first + count - 1, each as a browser sends it and a server answers it.
BenchFrames generate(qint64 first, int count)
{
    constexpr int kPayload = 1448;
    BenchFrames capture;
    capture.bytes.reserve(qsizetype(count) * kFramesPerRequest * 800);
    const QByteArray body(kPayload, 'b');
    for (qint64 i = first; i < first + count; ++i) {
        const auto client = quint16(32768 + i % 28232);
        const quint16 server = i % 3 ? 80 : 8080;
        const auto sequence = quint32(i * 7919);
        const int kind = int(i % 100);
        QByteArray path;
        QByteArray type;
        if (kind < 15) {
            path = "/page/" + QByteArray::number(i) + ".html";
            type = "text/html; charset=utf-8";
        } else if (kind < 90) {
            path = "/static/" + QByteArray::number(i) + "/app.js";
            type = "application/javascript";
        } else if (kind < 97) {
            path = "/media/" + QByteArray::number(i / 100 % kMediaAddresses) + ".mp4";
            type = "video/mp4";
        } else {
            path = "/music/" + QByteArray::number(i / 100 % kMediaAddresses) + ".mp3";
            type = "audio/mpeg";
        }
        const QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: site" + QByteArray::number(i % 500) +
                                   ".test\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 "
                                   "Firefox/120.0\r\nAccept: */*\r\nReferer: http://site0.test/index.html\r\n"
                                   "Cookie: session=" +
                                   QByteArray::number(i) + "\r\nConnection: keep-alive\r\n\r\n";
        appendLoopbackFrame(capture, client, server, sequence, {}, 0x02); // SYN
        appendLoopbackFrame(capture, client, server, sequence + 1, request);
        appendLoopbackFrame(capture, server, client, 9000, {}, 0x10);
        const QByteArray header = "HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Type: " + type +
                                  "\r\nContent-Length: 10000\r\nConnection: keep-alive\r\n\r\n";
        appendLoopbackFrame(capture, server, client, 9001, header + body.left(kPayload - header.size()));
        for (int f = 4; f < kFramesPerRequest - 1; ++f)
            appendLoopbackFrame(capture, server, client, 9001 + quint32(f) * kPayload, body);
        appendLoopbackFrame(capture, client, server, sequence + 1 + quint32(request.size()), {}, 0x11); // FIN
    }
    return capture;
}

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Texts::init(QStringLiteral("EN"));
    const QStringList arguments = app.arguments();
    const double seconds = qBound(10.0, arguments.value(1, QStringLiteral("120")).toDouble(), 86400.0);
    const int framesPerSecond = qBound(1000, arguments.value(2, QStringLiteral("20000")).toInt(), 2000000);
    const int requestsPerBatch = framesPerSecond / kFramesPerRequest / 10; // a tenth of a second

    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    RequestAnalyser analyser({gets, history, videoFiles, detected}, [] { return MediaFilterSettings::allOn(); });
    KeyLog keyLog;
    WireLimits limits;
    limits.plainHttp = false; // as the program runs it: plain HTTP is the frame analyser's
    ExchangeSink sink;
    sink.responseStarted = [&](const HttpExchange& exchange) { analyser.analyseExchange(exchange); };
    WireDecoder decoder(keyLog, limits, sink);

    std::printf("capture of generated traffic for %.0f s at %d frames/s (%d requests/s)\n", seconds, framesPerSecond,
                framesPerSecond / kFramesPerRequest);
    const qint64 startKiB = statusKiB("VmRSS:");
    const double warmUp = std::max(10.0, seconds / 10);
    qint64 warmKiB = -1;
    qint64 warmRequests = 0;
    qint64 requests = 0;
    QElapsedTimer timer;
    timer.start();
    double nextReport = 60;
    while (timer.elapsed() < qint64(seconds * 1000)) {
        const BenchFrames batch = generate(requests, requestsPerBatch);
        const auto* data = reinterpret_cast<const quint8*>(batch.bytes.constData());
        for (qsizetype f = 0; f < batch.frames(); ++f) {
            const qsizetype at = batch.offsets[size_t(f)];
            const auto length = quint16(batch.offsets[size_t(f + 1)] - at);
            analyser.analyse(data + at, length);
            decoder.feed(WireDecoder::LinkEthernet, WireTime(timer.nsecsElapsed() / 1000), data + at, length);
        }
        requests += requestsPerBatch;
        const double now = double(timer.elapsed()) / 1000;
        if (warmKiB < 0 && now >= warmUp) {
            warmKiB = statusKiB("VmRSS:");
            warmRequests = requests;
        }
        if (now >= nextReport) {
            std::printf("  %.0f s: %.1f MiB resident, %lld requests, %lld candidates\n", now,
                        double(statusKiB("VmRSS:")) / 1024, static_cast<long long>(requests),
                        static_cast<long long>(videoFiles.size()));
            nextReport += 60;
        }
        // Real time: the next batch is due a tenth of a second after this one was.
        const qint64 due = qint64(double(requests) / requestsPerBatch * 100);
        if (due > timer.elapsed())
            QThread::msleep(quint64(due - timer.elapsed()));
    }
    const qint64 endKiB = statusKiB("VmRSS:"); // with every connection still open
    decoder.finish();
    const double growthPerThousand =
        requests > warmRequests ? double(endKiB - warmKiB) / double(requests - warmRequests) * 1000 : 0;
    std::printf("requests %lld, candidates %lld, GetArr %lld, HistoryArr %lld; peak %.1f MiB\n",
                static_cast<long long>(requests), static_cast<long long>(videoFiles.size()),
                static_cast<long long>(gets.size()), static_cast<long long>(history.size()),
                double(statusKiB("VmHWM:")) / 1024);
    std::printf("\nmeasure | at start | after the warm-up | at the end | growth | goal\n");
    std::printf("resident memory | %.1f MiB | %.1f MiB (%.0f s) | %.1f MiB (%.0f s) | %.2f KiB per 1000 requests | "
                "flat (< 1 KiB per 1000 requests): %s\n",
                double(startKiB) / 1024, double(warmKiB) / 1024, warmUp, double(endKiB) / 1024, seconds,
                growthPerThousand, growthPerThousand < 1 ? "met" : "not met");
    return 0;
}
