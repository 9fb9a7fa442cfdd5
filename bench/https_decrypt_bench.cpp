// The decrypting path against tshark. Records a TLS 1.3 + HTTP/2 download of MIB MiB (1024 by
// default) from nginx on 127.0.0.1 (a certificate from an authority made here) with curl as the
// client writing its key log and dumpcap on lo writing the capture, then analyses the capture
// with its key log:
//   - in this process, the wire decoder alone and with the frame analyser as the capture thread
//     runs them (CPU time of this thread, best of three),
//   - end to end with `trawlix --headless --video --pcap FILE --keylog KEYS`,
//   - with `tshark -r FILE -o tls.keylog_file:KEYS -o tcp.reassemble_out_of_order:TRUE -Y http2`
//     (the peer; dumpcap on lo sometimes writes a frame after the next one, and without the
//     second option tshark stops decrypting the connection there). The peer's output is checked
//     for the whole body: if tshark stopped early, its time is for part of the work and the
//     ratio a lower bound.
// Then the plain path (the generated capture of capture_analyser_bench through the frame analyser
// alone and with the wire decoder beside it) and the cost of a frame of a connection that carries
// neither TLS nor HTTP. Everything is made in a temporary folder removed at the end.
//
//   ninja -C build https_decrypt_bench && build/bench/https_decrypt_bench [MIB]
//   (BENCH_KEEP=1 keeps the temporary folder, to look at what was made)

#include "BenchPlainTraffic.h"
#include "BenchTools.h"
#include "base/Texts.h"
#include "capture/MediaFilterSettings.h"
#include "capture/PacketCapture.h"
#include "capture/RequestAnalyser.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "wire/FrameDecoder.h"
#include "wire/KeyLog.h"
#include "wire/WireDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <pcap/pcap.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <vector>

namespace {

const QString kPath = QStringLiteral("/big.mp4");

// A capture file's frames in memory, so that reading the file is not timed.
struct Capture
{
    BenchFrames frames;
    std::vector<WireTime> times;
    std::vector<quint32> wireLengths;
    int linkType = 0;
};

std::optional<Capture> loadCapture(const QString& path)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(QFile::encodeName(path).constData(), error);
    if (!handle) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(path), error);
        return std::nullopt;
    }
    Capture capture;
    capture.linkType = pcap_datalink(handle);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(handle, &header, &data) == 1) {
        capture.frames.bytes.append(reinterpret_cast<const char*>(data), qsizetype(header->caplen));
        capture.frames.offsets.push_back(capture.frames.bytes.size());
        capture.times.push_back(WireTime(header->ts.tv_sec) * 1'000'000 + header->ts.tv_usec);
        capture.wireLengths.push_back(header->len);
    }
    pcap_close(handle);
    return capture;
}

bool writeRandomFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qint64 written = 0; written < size; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        if (file.write(block.constData(), std::min<qint64>(block.size(), size - written)) <= 0)
            return false;
    }
    return true;
}

// Captures one download of `url` by curl over HTTP/2 on lo; curl writes its TLS secrets to
// `keys`. Returns the frames the kernel dropped (-1 when something failed, with `error`).
qint64 recordDownload(quint16 port,
                      const QString& url,
                      const QString& authority,
                      const QString& limitRate,
                      const QString& pcap,
                      const QString& keys,
                      QString& error)
{
    QFile::remove(pcap);
    QFile::remove(keys);
    QProcess dumpcap;
    dumpcap.setProcessChannelMode(QProcess::MergedChannels);
    dumpcap.start(QStringLiteral("dumpcap"), {QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("-P"),
                                              QStringLiteral("-B"), QStringLiteral("256"), QStringLiteral("-f"),
                                              QStringLiteral("tcp port %1").arg(port), QStringLiteral("-w"), pcap});
    dumpcap.waitForStarted(10000);
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("Capturing on") && dumpcap.state() == QProcess::Running && waited.elapsed() < 15000) {
        dumpcap.waitForReadyRead(500);
        said += dumpcap.readAll();
    }
    // "Capturing on" comes before the filter is in place: connect until dumpcap counts a frame.
    while (said.contains("Capturing on") && !said.contains("Packets: ") && dumpcap.state() == QProcess::Running &&
           waited.elapsed() < 15000) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(1000);
        socket.disconnectFromHost();
        dumpcap.waitForReadyRead(300);
        said += dumpcap.readAll();
    }
    if (!said.contains("Packets: ")) {
        error = QStringLiteral("dumpcap did not start capturing: ") + QString::fromLocal8Bit(tail(said));
        dumpcap.kill();
        dumpcap.waitForFinished(5000);
        return -1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSLKEYLOGFILE"), keys);
    QStringList arguments = {
        QStringLiteral("--http2"), QStringLiteral("--tlsv1.3"), QStringLiteral("--cacert"), authority,
        QStringLiteral("-sS"),     QStringLiteral("-o"),        QStringLiteral("/dev/null")};
    if (!limitRate.isEmpty())
        arguments << QStringLiteral("--limit-rate") << limitRate;
    const ToolRun curl = runTool(QStringLiteral("curl"), arguments << url, environment);
    QThread::msleep(500); // the last acknowledgements reach the file
    dumpcap.terminate();
    dumpcap.waitForFinished(30000);
    said += dumpcap.readAll();
    if (!curl.ok) {
        error = QStringLiteral("curl failed: ") + QString::fromLocal8Bit(tail(curl.output));
        return -1;
    }
    static const QRegularExpression counts(QStringLiteral("dropped on interface '[^']*': (\\d+)/(\\d+)"));
    const QRegularExpressionMatch match = counts.match(QString::fromLocal8Bit(said));
    if (!match.hasMatch() || QFileInfo(keys).size() == 0) {
        error = QStringLiteral("no capture or no key log: ") + QString::fromLocal8Bit(tail(said));
        return -1;
    }
    return match.captured(2).toLongLong();
}

struct DecodeRun
{
    double seconds = 0; // CPU time of this thread
    int status = 0;     // of the download's exchange
    std::uint64_t bodyBytes = 0;
    qsizetype candidates = 0;
    WireDecoder::Statistics statistics;
};

// The decrypting path over the capture; `withAnalyser`: each frame also goes to the frame
// analyser and each exchange to the candidate rules, as the capture thread does.
DecodeRun decode(const Capture& capture, const QString& keys, bool withAnalyser)
{
    DecodeRun run;
    KeyLog keyLog;
    keyLog.setFile(keys.toStdString());
    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    RequestAnalyser analyser({gets, history, videoFiles, detected}, [] { return MediaFilterSettings::allOn(); });
    WireLimits limits;
    limits.plainHttp = false; // as the program runs it: plain HTTP is the frame analyser's
    ExchangeSink sink;
    sink.responseStarted = [&](const HttpExchange& exchange) {
        if (withAnalyser)
            analyser.analyseExchange(exchange);
    };
    sink.completed = [&](const HttpExchange& exchange) {
        if (exchange.path == kPath.toStdString()) {
            run.status = exchange.status;
            run.bodyBytes = exchange.responseBodyBytes;
        }
    };
    WireDecoder decoder(keyLog, limits, sink);
    const auto* data = reinterpret_cast<const std::uint8_t*>(capture.frames.bytes.constData());
    const qint64 start = threadNanoseconds();
    for (qsizetype f = 0; f < capture.frames.frames(); ++f) {
        const qsizetype at = capture.frames.offsets[size_t(f)];
        const auto length = quint32(capture.frames.offsets[size_t(f + 1)] - at);
        if (withAnalyser)
            analyser.analyse(data + at, PacketCapture::handedLength(capture.wireLengths[size_t(f)], length));
        decoder.feed(capture.linkType, capture.times[size_t(f)], data + at, length);
    }
    decoder.finish();
    run.seconds = double(threadNanoseconds() - start) / 1e9;
    run.statistics = decoder.statistics();
    run.candidates = videoFiles.size();
    return run;
}

// The wire decoder alone and with the frame analyser, each best of three, run in turn after an
// untimed warm-up: the first run also pays for the memory the allocator first takes from the
// system, and the neighbours' load comes and goes.
std::pair<DecodeRun, DecodeRun> bestOfThree(const Capture& capture, const QString& keys)
{
    decode(capture, keys, true);
    DecodeRun alone;
    DecodeRun engine;
    for (int i = 0; i < 3; ++i) {
        const DecodeRun first = decode(capture, keys, false);
        if (i == 0 || first.seconds < alone.seconds)
            alone = first;
        const DecodeRun second = decode(capture, keys, true);
        if (i == 0 || second.seconds < engine.seconds)
            engine = second;
    }
    return {alone, engine};
}

QString rate(double bytes, double frames, double seconds)
{
    const double megabytes = bytes / 1e6 / seconds;
    return QStringLiteral("%1 MB/s (%2 Gbit/s), %3 frames/s")
        .arg(megabytes, 0, 'f', 1)
        .arg(megabytes * 8 / 1000, 0, 'f', 2)
        .arg(frames / seconds, 0, 'f', 0);
}

// The frame analyser alone, or with the wire decoder beside it as in the program, over the
// plain capture; CPU seconds of this thread.
double plainPath(const BenchFrames& frames, bool withDecoder)
{
    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    RequestAnalyser analyser({gets, history, videoFiles, detected}, [] { return MediaFilterSettings::allOn(); });
    analyser.setClock([] { return qint64(1700000000); });
    KeyLog keyLog;
    WireLimits limits;
    limits.plainHttp = false;
    ExchangeSink sink;
    sink.responseStarted = [&](const HttpExchange& exchange) { analyser.analyseExchange(exchange); };
    WireDecoder decoder(keyLog, limits, sink);
    const auto* data = reinterpret_cast<const quint8*>(frames.bytes.constData());
    const qint64 start = threadNanoseconds();
    for (qsizetype f = 0; f < frames.frames(); ++f) {
        const qsizetype at = frames.offsets[size_t(f)];
        const auto length = quint16(frames.offsets[size_t(f + 1)] - at);
        analyser.analyse(data + at, length);
        if (withDecoder)
            decoder.feed(WireDecoder::LinkEthernet, WireTime(1700000000) * 1'000'000 + f * 10, data + at, length);
    }
    return double(threadNanoseconds() - start) / 1e9;
}

// Both ways best of three, in turn, after an untimed warm-up (as bestOfThree).
std::pair<double, double> plainPaths(const BenchFrames& frames)
{
    plainPath(frames, true);
    double alone = 0;
    double beside = 0;
    for (int i = 0; i < 3; ++i) {
        const double first = plainPath(frames, false);
        alone = i == 0 ? first : std::min(alone, first);
        const double second = plainPath(frames, true);
        beside = i == 0 ? second : std::min(beside, second);
    }
    return {alone, beside};
}

// Frames of kOpaqueConnections connections to port 5432 whose first bytes are neither TLS nor
// HTTP: each opened (SYN, SYN-ACK, the client's first bytes), then one 1448-byte segment per
// connection, fed round after round.
constexpr int kOpaqueConnections = 1000;
constexpr int kOpaqueRounds = 1000;

struct OpaqueCost
{
    double lookupNanoseconds = 0;  // a header parse and one hash lookup per frame
    double decoderNanoseconds = 0; // the wire decoder
    std::uint64_t passedOver = 0;  // connections the decoder still tracks, undecoded
};

OpaqueCost opaqueConnections()
{
    BenchFrames opening;
    BenchFrames data;
    QByteArray first(64, '\0');
    QRandomGenerator random(11);
    for (char& c : first)
        c = char(random.bounded(256));
    first[0] = 0; // neither a TLS record type nor an HTTP method
    QByteArray segment(1448, '\0');
    for (char& c : segment)
        c = char(random.bounded(256));
    for (int c = 0; c < kOpaqueConnections; ++c) {
        const auto client = quint16(20000 + c);
        appendLoopbackFrame(opening, client, 5432, 1000, {}, 0x02);
        appendLoopbackFrame(opening, 5432, client, 5000, {}, 0x12);
        appendLoopbackFrame(opening, client, 5432, 1001, first);
        appendLoopbackFrame(data, 5432, client, 5001, segment);
    }
    const auto* openingBytes = reinterpret_cast<const std::uint8_t*>(opening.bytes.constData());
    const auto* dataBytes = reinterpret_cast<const std::uint8_t*>(data.bytes.constData());
    const auto frame = [](const BenchFrames& frames, const std::uint8_t* bytes, qsizetype f) {
        const qsizetype at = frames.offsets[size_t(f)];
        return std::span<const std::uint8_t>(bytes + at, size_t(frames.offsets[size_t(f + 1)] - at));
    };
    const double count = double(kOpaqueConnections) * kOpaqueRounds;
    OpaqueCost cost;

    std::unordered_map<ConnectionKey, int, ConnectionKeyHash> table;
    for (qsizetype f = 0; f < data.frames(); ++f) {
        const auto parsed = FrameDecoder::decode(WireDecoder::LinkEthernet, frame(data, dataBytes, f));
        table.emplace(ConnectionKey::of(parsed->source, parsed->destination), int(f));
    }
    qint64 found = 0;
    qint64 start = threadNanoseconds();
    for (int round = 0; round < kOpaqueRounds; ++round) {
        for (qsizetype f = 0; f < data.frames(); ++f) {
            const auto parsed = FrameDecoder::decode(WireDecoder::LinkEthernet, frame(data, dataBytes, f));
            if (parsed)
                found += table.find(ConnectionKey::of(parsed->source, parsed->destination)) != table.end();
        }
    }
    cost.lookupNanoseconds = double(threadNanoseconds() - start) / count;
    if (found != qint64(count))
        std::printf("MISMATCH: %lld of %.0f frames found\n", static_cast<long long>(found), count);

    KeyLog keyLog;
    WireDecoder decoder(keyLog, WireLimits{}, ExchangeSink{});
    WireTime time = WireTime(1700000000) * 1'000'000;
    for (qsizetype f = 0; f < opening.frames(); ++f) {
        const auto bytes = frame(opening, openingBytes, f);
        decoder.feed(WireDecoder::LinkEthernet, time, bytes.data(), bytes.size());
    }
    start = threadNanoseconds();
    for (int round = 0; round < kOpaqueRounds; ++round) {
        time += 1000;
        for (qsizetype f = 0; f < data.frames(); ++f) {
            const auto bytes = frame(data, dataBytes, f);
            decoder.feed(WireDecoder::LinkEthernet, time, bytes.data(), bytes.size());
        }
    }
    cost.decoderNanoseconds = double(threadNanoseconds() - start) / count;
    const WireDecoder::Statistics statistics = decoder.statistics();
    cost.passedOver = statistics.connections;
    return cost;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Texts::init(QStringLiteral("EN"));
    const qint64 mebibytes = qMax(1, app.arguments().value(1, QStringLiteral("1024")).toInt());
    const qint64 size = mebibytes << 20;
    for (const char* tool : {"curl", "dumpcap", "tshark", "openssl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(stderr, "%s is not installed\n", tool);
            return 1;
        }
    }
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_KEEP"));
    std::printf("folder %s\n", qPrintable(dir.path()));
    const QString www = dir.filePath(QStringLiteral("www"));
    const QString pcap = dir.filePath(QStringLiteral("download.pcap"));
    const QString keys = dir.filePath(QStringLiteral("keys.log"));
    QDir().mkpath(www);
    TestCertificates certificates;
    if (!writeRandomFile(www + kPath, size) || !certificates.make(dir.filePath(QStringLiteral("tls")))) {
        std::fprintf(stderr, "cannot prepare the server: %s\n", qPrintable(certificates.error()));
        return 1;
    }

    // Recording: lo is fast enough for the kernel to drop frames while dumpcap writes; a capture
    // with a hole would not be the whole download, so the rate is lowered until none are dropped.
    {
        NginxServer nginx(www);
        nginx.setTls(certificates.certificate(), certificates.key(), QStringLiteral("TLSv1.3"), true);
        if (!nginx.start()) {
            std::fprintf(stderr, "%s\n", qPrintable(nginx.error()));
            return 1;
        }
        bool recorded = false;
        for (const QString& limit :
             {QString(), QStringLiteral("400M"), QStringLiteral("150M"), QStringLiteral("50M")}) {
            QString error;
            const qint64 dropped =
                recordDownload(nginx.port(), nginx.url(kPath), certificates.authority(), limit, pcap, keys, error);
            if (dropped < 0) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            std::printf("recorded %lld MiB over TLS 1.3 + HTTP/2 at %s: %lld frames dropped\n",
                        static_cast<long long>(mebibytes), limit.isEmpty() ? "full speed" : qPrintable(limit),
                        static_cast<long long>(dropped));
            if (dropped == 0) {
                recorded = true;
                break;
            }
        }
        if (!recorded) {
            std::fprintf(stderr, "every recording dropped frames\n");
            return 1;
        }
    } // nginx stops: the end-to-end run's download of the candidate fails at once

    std::optional<Capture> capture = loadCapture(pcap);
    if (!capture)
        return 1;
    const double frames = double(capture->frames.frames());
    const double bytes = double(QFileInfo(pcap).size());
    std::printf("capture: %.0f frames, %.1f MB (link type %d); times are CPU time unless wall\n", frames, bytes / 1e6,
                capture->linkType);

    const auto [alone, engine] = bestOfThree(*capture, keys);
    std::printf("decoded: status %d, %llu of %lld body bytes, %llu records decrypted, %lld candidates\n", engine.status,
                static_cast<unsigned long long>(engine.bodyBytes), static_cast<long long>(size),
                static_cast<unsigned long long>(engine.statistics.decryptedRecords),
                static_cast<long long>(engine.candidates));
    const bool whole = alone.status == 200 && alone.bodyBytes == quint64(size) && engine.bodyBytes == quint64(size) &&
                       engine.candidates == 1;
    if (!whole)
        std::printf("MISMATCH: the download was not decoded whole\n");
    capture.reset();

    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const ToolRun trawlix =
        runTool(QStringLiteral(TRAWLIX_PROGRAM),
                {QStringLiteral("--headless"), QStringLiteral("--video"), QStringLiteral("--data-dir"), data.path(),
                 QStringLiteral("--pcap"), pcap, QStringLiteral("--keylog"), keys},
                environment);
    const bool trawlixFound = trawlix.output.contains(QStringLiteral("https://127.0.0.1:").toUtf8()) &&
                              trawlix.output.contains(kPath.toUtf8());
    if (!trawlix.ok || !trawlixFound)
        std::printf("MISMATCH: trawlix --headless did not print the candidate: %s\n", tail(trawlix.output).constData());

    const QString tsharkOutput = dir.filePath(QStringLiteral("tshark.txt"));
    const ToolRun tshark =
        runTool(QStringLiteral("tshark"),
                {QStringLiteral("-r"), pcap, QStringLiteral("-o"), QStringLiteral("tls.keylog_file:") + keys,
                 QStringLiteral("-o"), QStringLiteral("tcp.reassemble_out_of_order:TRUE"), QStringLiteral("-Y"),
                 QStringLiteral("http2")},
                QProcessEnvironment::systemEnvironment(), tsharkOutput);
    // tshark gives up on a stream quietly; the body needs at least one DATA frame per 16 KiB
    // (the largest frame the client allows).
    QFile tsharkLines(tsharkOutput);
    const QByteArray tsharkText = tsharkLines.open(QIODevice::ReadOnly) ? tsharkLines.readAll() : QByteArray();
    const qsizetype dataFrames = tsharkText.count("DATA[1]");
    std::printf("tshark: %lld DATA frames of the download shown (a whole body takes at least %lld)\n",
                static_cast<long long>(dataFrames), static_cast<long long>(size / 16384));
    const bool tsharkWhole = tshark.ok && tsharkText.contains("200 OK") && dataFrames >= size / 16384;
    if (!tsharkWhole)
        std::printf("tshark stopped early (exit %d): its rates are for part of the work, the ratios lower bounds\n",
                    tshark.exitCode);
    const QString bound = tsharkWhole ? QString() : QStringLiteral(", lower bounds: tshark stopped early");

    const QString peer = QStringLiteral("tshark -Y http2 with the key log: %1 s (%2 s wall), %3")
                             .arg(tshark.cpuSeconds, 0, 'f', 2)
                             .arg(tshark.wallSeconds, 0, 'f', 1)
                             .arg(rate(bytes, frames, tshark.cpuSeconds));
    const double gigabits = bytes * 8 / 1e9;
    printMeasure(QStringLiteral("decrypting path in process, one thread"), peer,
                 QStringLiteral("wire decoder %1 s, %2; with the frame analyser and the candidate rules %3 s, %4")
                     .arg(alone.seconds, 0, 'f', 3)
                     .arg(rate(bytes, frames, alone.seconds))
                     .arg(engine.seconds, 0, 'f', 3)
                     .arg(rate(bytes, frames, engine.seconds)),
                 QStringLiteral("%1x tshark (with the analyser %2x%3)")
                     .arg(tshark.cpuSeconds / alone.seconds, 0, 'f', 1)
                     .arg(tshark.cpuSeconds / engine.seconds, 0, 'f', 1)
                     .arg(bound),
                 QStringLiteral(">= 10x tshark and >= 1 Gbit/s on one core: %1")
                     .arg(metOrNot(tshark.cpuSeconds / engine.seconds >= 10 && gigabits / engine.seconds >= 1)));
    printMeasure(QStringLiteral("end to end: trawlix --headless --pcap FILE --keylog KEYS"), peer,
                 QStringLiteral("trawlix %1 s (%2 s wall, start and stop included), %3")
                     .arg(trawlix.cpuSeconds, 0, 'f', 2)
                     .arg(trawlix.wallSeconds, 0, 'f', 2)
                     .arg(rate(bytes, frames, trawlix.cpuSeconds)),
                 QStringLiteral("%1x tshark (wall %2x%3)")
                     .arg(tshark.cpuSeconds / trawlix.cpuSeconds, 0, 'f', 1)
                     .arg(tshark.wallSeconds / trawlix.wallSeconds, 0, 'f', 1)
                     .arg(bound),
                 QStringLiteral(">= 10x tshark: %1").arg(metOrNot(tshark.cpuSeconds / trawlix.cpuSeconds >= 10)));

    const BenchFrames plain = generatePlainTraffic();
    const auto [analyserOnly, withDecoder] = plainPaths(plain);
    const double plainFrames = double(plain.frames());
    printMeasure(
        QStringLiteral("plain path: %1 generated frames, %2 HTTP requests on ports 80 and 8080")
            .arg(plain.frames())
            .arg(kPlainRequests),
        QStringLiteral("frame analyser alone %1 s, %2 frames/s")
            .arg(analyserOnly, 0, 'f', 3)
            .arg(plainFrames / analyserOnly, 0, 'f', 0),
        QStringLiteral("frame analyser and wire decoder, as the capture thread runs them, %1 s, %2 frames/s")
            .arg(withDecoder, 0, 'f', 3)
            .arg(plainFrames / withDecoder, 0, 'f', 0),
        QStringLiteral("%1 of the analyser's rate").arg(analyserOnly / withDecoder, 0, 'f', 2),
        QStringLiteral("the plain path keeps its rate (>= 0.90): %1").arg(metOrNot(analyserOnly / withDecoder >= 0.9)));

    const OpaqueCost opaque = opaqueConnections();
    printMeasure(
        QStringLiteral("%1 connections with neither TLS nor HTTP, %2 frames of 1448 bytes")
            .arg(kOpaqueConnections)
            .arg(kOpaqueConnections * kOpaqueRounds),
        QStringLiteral("header parse and one hash lookup: %1 ns/frame").arg(opaque.lookupNanoseconds, 0, 'f', 1),
        QStringLiteral("wire decoder: %1 ns/frame (%2 connections passed over)")
            .arg(opaque.decoderNanoseconds, 0, 'f', 1)
            .arg(opaque.passedOver),
        QStringLiteral("%1x one lookup").arg(opaque.decoderNanoseconds / opaque.lookupNanoseconds, 0, 'f', 2),
        QStringLiteral("one lookup a frame (<= 2x the parse and lookup): %1")
            .arg(metOrNot(opaque.decoderNanoseconds <= 2 * opaque.lookupNanoseconds)));
    return whole && trawlix.ok && trawlixFound ? 0 : 1;
}
