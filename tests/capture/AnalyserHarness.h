#pragma once

#include "base/Texts.h"
#include "capture/RequestAnalyser.h"
#include "support/FrameBuilder.h"

#include <QByteArray>
#include <QList>

#include <atomic>

// The request analyser with its own record arrays and settings, fed with frames built by the
// tests. Client port 40000 talks to server port 8080 unless a test says otherwise.
class AnalyserHarness
{
public:
    static constexpr qint64 kNow = 1700000000;
    static constexpr quint16 kClient = 40000;
    static constexpr quint16 kServer = 8080;

    explicit AnalyserHarness(RequestAnalyser::Lookup lookup = RequestAnalyser::Lookup::Indexed)
        : analyser(
              {gets, history, videoFiles, detected}, [this] { return settings; }, lookup)
    {
        Texts::init(QStringLiteral("EN"));
        settings = MediaFilterSettings::allOn();
        analyser.setClock([] { return kNow; });
    }

    void feed(const QByteArray& frame)
    {
        analyser.analyse(reinterpret_cast<const quint8*>(frame.constData()), quint16(frame.size()));
    }

    // Client -> server segment carrying `payload`.
    void sendRequest(const QByteArray& payload,
                     quint32 sequence = 1000,
                     quint16 client = kClient,
                     quint16 server = kServer,
                     FrameBuilder::Link link = FrameBuilder::Link::Ethernet,
                     int optionBytes = 12)
    {
        feed(FrameBuilder::frame({client, server, sequence, payload, optionBytes, link}));
    }

    // Server -> client segment carrying `payload`.
    void sendResponse(const QByteArray& payload,
                      quint16 client = kClient,
                      quint16 server = kServer,
                      FrameBuilder::Link link = FrameBuilder::Link::Ethernet,
                      int optionBytes = 12)
    {
        feed(FrameBuilder::frame({server, client, 5000, payload, optionBytes, link}));
    }

    // A media response of the given content type to the client port.
    void sendMediaResponse(const QByteArray& contentType, quint16 client = kClient)
    {
        sendResponse(FrameBuilder::responseText({"Content-Type: " + contentType, "Content-Length: 1000"}), client);
    }

    void sendFiller(int count)
    {
        for (int i = 0; i < count; ++i)
            feed(FrameBuilder::frame({443, 50000, quint32(i), QByteArray(100, 'x'), 12, FrameBuilder::Link::Ethernet}));
    }

    QList<VideoFile> candidates() const { return videoFiles.snapshot(); }
    QStringList urls() const
    {
        QStringList result;
        for (const VideoFile& record : videoFiles.snapshot())
            result << record.url;
        return result;
    }

    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    MediaFilterSettings settings;
    RequestAnalyser analyser;
};

// A plain browser request for `path` on host "media.test:8080".
inline QByteArray browserRequest(const QByteArray& path, const QList<QByteArray>& extra = {})
{
    QList<QByteArray> headers = {"Host: media.test:8080", "User-Agent: TestBrowser/1.0", "Accept: */*"};
    headers += extra;
    return FrameBuilder::requestText(path, headers);
}
