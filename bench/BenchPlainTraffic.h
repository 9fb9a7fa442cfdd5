#pragma once

#include "BenchFrames.h"

#include <QRandomGenerator>

// Plain HTTP traffic as a browser on ports 80 and 8080 makes it: kPlainRequests requests of
// kPlainFramesPerRequest frames each (the request, sometimes split in two, acknowledgements and
// a body of 1448-byte segments), with a page, script, video and sound mix of content types.
constexpr int kPlainRequests = 100000;
constexpr int kPlainFramesPerRequest = 10;

inline BenchFrames generatePlainTraffic()
{
    constexpr int kPayload = 1448;
    QRandomGenerator random(7);
    BenchFrames capture;
    QByteArray body(kPayload * 8, '\0');
    for (char& c : body)
        c = char(random.bounded(256));
    for (int i = 0; i < kPlainRequests; ++i) {
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
        for (frames += 2; frames < kPlainFramesPerRequest - 1; ++frames) {
            const int slice = random.bounded(7);
            appendLoopbackFrame(capture, server, client, 9001 + quint32(frames) * kPayload,
                                body.mid(slice * kPayload, kPayload));
        }
        appendLoopbackFrame(capture, client, server, sequence + quint32(request.size()), {});
    }
    return capture;
}
