#pragma once

#include "capture/MediaFilterSettings.h"
#include "model/Get.h"
#include "model/VideoFile.h"

#include <QByteArray>
#include <QHash>
#include <QSet>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class ByteView;

// Turns captured frames into download candidates: records HTTP requests (`GetArr`), the pages
// the user visits (`HistoryArr`) and, for each media response, a `VideoFile` in state New for
// the requests of the same client port. Works on raw frames of any link type, finding its
// markers at any offset. Runs on one thread (the capture thread), one frame at a time.
//
// Matching records are found through indexes (requests by client port, unfinished requests by
// their port pair, candidates by address), so the cost of a frame does not grow with the
// requests seen. Lookup::Walk finds the same records by walking every array instead; it gives
// identical results and exists to measure and cross-check the indexes.
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

    RequestAnalyser(Records records, SettingsSource settings, Lookup lookup = Lookup::Indexed);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Both ways of finding records keep the same state, so the way may change at any frame.
    void setLookup(Lookup lookup) { m_lookup = lookup; }
    // Called on the analysing thread after each new candidate, outside every lock.
    void setCandidateHook(CandidateHook hook) { m_candidateHook = std::move(hook); }

    // The analyser entry: one frame and its 16-bit length.
    void analyse(const quint8* frame, quint16 length);

    int continuationWindow() const { return m_window; }

private:
    struct Request
    {
        QByteArray text;       // the bytes behind Get::requestText
        qsizetype shared = -1; // index in GetArr
        quint16 clientPort = 0;
        quint16 serverPort = 0;
        quint32 firstSequence = 0;
        bool complete = false;
    };

    void joinContinuations(const ByteView& frame);
    void joinByIndex(const ByteView& frame);
    void joinByWalk(const ByteView& frame);
    void tryContinuation(qint32 request, const ByteView& frame, qsizetype at);
    void forgetFinished(qint32 request);

    void scanMarkers(const ByteView& frame);
    const MediaFilterSettings& settings();
    void recordRequest(const ByteView& frame, qsizetype at);
    void recordPages(const ByteView& frame);
    void createCandidates(const ByteView& frame, const QString& extension);
    bool responseClientPort(const ByteView& frame, quint16& port) const;
    std::vector<qint32> requestsOnPort(quint16 port) const; // oldest first

    bool
    createCandidate(const Request& request, const QString& address, const QString& extension, const QString& history);
    void indexVideoFiles(const QList<VideoFile>& list);
    bool hasUrl(const QList<VideoFile>& list, const QString& url) const;
    QString allocateBaseName(const QList<VideoFile>& list);
    QString newestHistory() const;

    Records m_records;
    SettingsSource m_settingsSource;
    Lookup m_lookup;
    Clock m_clock;
    CandidateHook m_candidateHook;
    QString m_displayName;

    int m_window = 0;
    MediaFilterSettings m_frameSettings;
    bool m_frameSettingsRead = false;

    std::vector<Request> m_requests;
    void addRequestToIndexes(qint32 index);
    bool hasUnfinishedOn(quint16 port) const { return (m_unfinishedPorts[port >> 6] >> (port & 63)) & 1; }

    QHash<quint16, std::vector<qint32>> m_byClientPort;     // client port -> requests, oldest first
    QHash<quint16, std::vector<qint32>> m_unfinishedByPort; // client port -> unfinished requests
    std::vector<quint64> m_unfinishedPorts;                 // one bit per client port in the above
    qsizetype m_unfinishedCount = 0;

    // Candidates by address and by base name; records appended by anyone are picked up before
    // each lookup. A cancelled record keeps its entry, which the lookup then passes over.
    QHash<QString, std::vector<qint32>> m_videoFilesByUrl;
    QSet<QString> m_baseNames;
    qsizetype m_videoFilesIndexed = 0;
    std::optional<std::pair<qint64, qint64>> m_lastSearch; // start and result of the last base search
};
