#pragma once

#include "capture/MediaFilterSettings.h"
#include "model/Get.h"
#include "model/VideoFile.h"

#include <QByteArray>
#include <QHash>
#include <QSet>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class ByteView;
struct HttpExchange;

// Turns captured frames into download candidates: records HTTP requests (`GetArr`), the pages
// the user visits (`HistoryArr`) and, for each media response, a `VideoFile` in state New for
// the requests of the same client port. Works on raw frames of any link type, finding its
// markers at any offset. Runs on one thread (the capture thread), one frame at a time, and is
// the only writer of `GetArr` and `HistoryArr`.
//
// Everything it keeps is bounded, so that neither memory nor the cost of a frame grows with the
// traffic seen: the newest kRequestsKept requests (in `GetArr` too), the newest kRequestsPerPort
// of each client port, the newest kHistoryKept pages, kLongestRequest bytes of one request's
// text, and unfinished requests only for kContinuationFrames frames after they were seen and at
// most kUnfinishedPerPort per client port (the oldest are dropped first).
//
// Matching records are found through indexes (requests by client port, unfinished requests by
// their port pair, candidates by address). Lookup::Walk finds the same records by walking every
// array instead; it gives identical results and exists to measure and cross-check the indexes.
class RequestAnalyser final
{
public:
    enum class Lookup
    {
        Indexed,
        Walk,
    };

    struct Records
    {
        GetArray& gets;
        HistoryArray& history;
        VideoFileArray& videoFiles;
        std::atomic<qint64>& detectedMedia; // candidates created in this run
    };

    using SettingsSource = std::function<MediaFilterSettings()>;
    using Clock = std::function<qint64()>; // seconds since 1970
    using CandidateHook = std::function<void(qsizetype index, const VideoFile& record)>;

    static constexpr int kContinuationFrames = 100;
    static constexpr int kLargestIgnoredFrame = 40;
    static constexpr int kHistoryEntries = 51;
    static constexpr int kUnfinishedPerPort = 8;
    static constexpr int kRequestsPerPort = 64;
    static constexpr qsizetype kRequestsKept = 4096;
    static constexpr qsizetype kHistoryKept = 1024;
    static constexpr qsizetype kLongestRequest = 32768;
    // Streams: the newest kStreamsKept manifests caught, each with at most kNamedPerStream
    // playlists its master names; a Content-Type value is read up to kLongestContentType bytes
    // and a master's line up to kLongestPlaylistLine.
    static constexpr qsizetype kStreamsKept = 64;
    static constexpr qsizetype kNamedPerStream = 256;
    static constexpr qsizetype kLongestContentType = 256;
    static constexpr qsizetype kLongestPlaylistLine = 4096;

    RequestAnalyser(Records records, SettingsSource settings, Lookup lookup = Lookup::Indexed);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Both ways of finding records keep the same state, so the way may change at any frame.
    void setLookup(Lookup lookup) { m_lookup = lookup; }
    // Called on the analysing thread after each new candidate, outside every lock.
    void setCandidateHook(CandidateHook hook) { m_candidateHook = std::move(hook); }

    // The analyser entry: one frame and its 16-bit length.
    void analyse(const quint8* frame, quint16 length);

    // A request and the headers of its response as the wire decoder read them (HTTPS, or plain
    // HTTP on another port): the same rules as for frames make a page of the history or a
    // candidate, with the exchange's scheme in the address. GET answered with 200 or 206 only.
    void analyseExchange(const HttpExchange& exchange);

    int continuationWindow() const { return m_window; }

private:
    struct Request
    {
        QByteArray text;       // the bytes behind Get::requestText
        qsizetype shared = -1; // index in GetArr counted from its first element ever (see m_sharedBase)
        quint16 clientPort = 0;
        quint16 serverPort = 0;
        quint32 firstSequence = 0;
        bool complete = false;
        bool joinable = false; // still waiting for continuation segments
        qint64 seenAt = 0;     // frame number when recorded
    };
    using Id = qint64; // a request's place in the sequence of all requests of this analyser

    void joinContinuations(const ByteView& frame);
    void joinByIndex(const ByteView& frame);
    void joinByWalk(const ByteView& frame);
    void tryContinuation(Id id, const ByteView& frame, qsizetype at);
    void forgetUnfinished(Id id);
    void expireUnfinished();

    void scanMarkers(const ByteView& frame);
    const MediaFilterSettings& settings();
    void recordRequest(const ByteView& frame, qsizetype at);
    void recordPages(const ByteView& frame);
    void createCandidates(const ByteView& frame, const QString& extension);
    bool responseClientPort(const ByteView& frame, quint16& port) const;
    std::vector<Id> requestsOnPort(quint16 port) const; // oldest first

    // The request headers a download replays.
    struct Replay
    {
        QString userAgent;
        QString accept;
        QString acceptLanguage;
        QString acceptEncoding;
        QString referer;
        QString cookie;
        QString connection;
    };
    static Replay replayOf(const QByteArray& requestText);
    static Replay replayOf(const HttpExchange& exchange);

    void appendPages(const QStringList& pages);
    bool isOwnRequest(const QString& userAgent) const;
    bool skipsCandidate(const QString& address) const;
    bool createCandidate(const Replay& replay,
                         const QString& address,
                         const QString& extension,
                         const QString& history,
                         VideoFile::Stream stream = VideoFile::Stream::None);

    // A stream caught: requests below its folder from the same page, and the playlists its
    // master names, are its parts and never candidates of their own.
    struct KnownStream
    {
        QString folder; // "http://host/dir/"
        QString referer;
        QSet<QString> named;
    };
    bool takeStreamResponse(const ByteView& frame, qsizetype type);
    bool isPartOfKnownStream(const QString& address, const QString& referer) const;
    void rememberStream(const QString& address, const QString& referer, const ByteView& frame);
    void keepStream(KnownStream stream);
    void indexVideoFiles(const QList<VideoFile>& list);
    bool hasUrl(const QList<VideoFile>& list, const QString& url) const;
    QString allocateBaseName(const QList<VideoFile>& list);
    QString newestHistory();

    Records m_records;
    SettingsSource m_settingsSource;
    Lookup m_lookup;
    Clock m_clock;
    CandidateHook m_candidateHook;
    QString m_displayName;

    int m_window = 0;
    MediaFilterSettings m_frameSettings;
    bool m_frameSettingsRead = false;

    Request& request(Id id) { return m_requests[size_t(id - m_firstId)]; }
    const Request& request(Id id) const { return m_requests[size_t(id - m_firstId)]; }
    Id addRequest(Request request);
    void dropOldestRequest();
    bool hasUnfinishedOn(quint16 port) const { return (m_unfinishedPorts[port >> 6] >> (port & 63)) & 1; }

    std::deque<Request> m_requests; // the newest kRequestsKept, oldest first
    Id m_firstId = 0;               // id of m_requests.front()
    qsizetype m_sharedBase = 0;     // GetArr elements this analyser removed from its front
    qint64 m_frame = 0;             // frames analysed

    QHash<quint16, std::deque<Id>> m_byClientPort;      // client port -> newest requests, oldest first
    QHash<quint16, std::vector<Id>> m_unfinishedByPort; // client port -> joinable requests, oldest first
    std::deque<Id> m_unfinishedByAge;                   // joinable requests in the order seen (may hold stale ids)
    std::vector<quint64> m_unfinishedPorts;             // one bit per client port in m_unfinishedByPort
    qsizetype m_unfinishedCount = 0;

    // Candidates by address and by base name; records appended by anyone are picked up before
    // each lookup. A cancelled record keeps its entry, which the lookup then passes over.
    QHash<QString, std::vector<qint32>> m_videoFilesByUrl;
    QSet<QString> m_baseNames;
    qsizetype m_videoFilesIndexed = 0;
    std::optional<std::pair<qint64, qint64>> m_lastSearch; // start and result of the last base search
    std::deque<KnownStream> m_streams;                     // oldest first
    QList<QString> m_historyPages; // the newest pages, newest first, that m_historyText was built of
    QString m_historyText;
};
