#pragma once

#include "base/Settings.h"
#include "download/CurlEasy.h"
#include "download/DownloadTimeouts.h"
#include "model/VideoFile.h"
#include "streams/StreamPlan.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>

#include <atomic>
#include <optional>

// How the stream downloads reach the server: every request with the candidate's browser
// headers (its cookies are in the process-wide store), the download time-outs and the stop
// flag; playlists into a plan; AES-128 keys fetched once per address and kept. Safe to use from
// several threads at once, each with its own connection.
class StreamFetcher final
{
public:
    struct Fetched
    {
        QByteArray bytes;
        int error = 0;   // HttpError
        long status = 0; // the HTTP status, when answered
        bool ok() const { return error == 0 && (status == 200 || status == 206); }
    };

    struct Planned
    {
        std::optional<StreamPlan> plan;
        QString reason; // why there is no plan: "Conn err", "Timeout" or what was wrong with it
        bool stopped = false;
    };

    static constexpr int kAttempts = 3;
    static constexpr qint64 kLargestPlaylist = 8 * 1024 * 1024;
    static constexpr qint64 kLargestKey = 64;
    // Keys kept at once; a stream that rotates its key more often than this fetches again.
    static constexpr qsizetype kMostKeys = 4096;

    StreamFetcher(const VideoFile& record, const DownloadTimeouts& timeouts, const std::atomic<bool>* stop);

    // The program's stop flag or cancel(): no new request starts, and the program's flag also
    // ends a request under way.
    bool stopped() const { return m_cancelled || (m_stop && m_stop->load()); }
    void cancel() { m_cancelled = true; }
    const std::atomic<bool>* stopFlag() const { return m_stop; }

    void setTimeouts(const DownloadTimeouts& timeouts) { m_timeouts = timeouts; }
    const DownloadTimeouts& timeouts() const { return m_timeouts; }

    // One request; `limit` bounds the answer. `connection`: the calling thread's kept handle.
    Fetched fetch(const QUrl& url, const std::optional<ByteRange>& range, qint64 limit, CurlEasy* connection) const;
    // Up to kAttempts requests, until one answers with the bytes.
    Fetched
    fetchWithRetries(const QUrl& url, const std::optional<ByteRange>& range, qint64 limit, CurlEasy* connection) const;

    // The plan of the record's manifest; `now` places a dynamic MPD's live edge.
    Planned buildPlan(StreamVariantChoice choice, const QDateTime& now, CurlEasy* connection) const;

    // The plain bytes of a segment or an init section, its key fetched first when it is not
    // kept yet; none with `reason` when the key cannot be had or the bytes do not decrypt.
    std::optional<QByteArray>
    decrypted(const QByteArray& bytes, const SegmentKey& key, QString& reason, CurlEasy* connection);

    // AES-128-CBC with PKCS#7 padding; none when the key or IV is not 16 bytes, the data is
    // not whole blocks or the padding is wrong.
    static std::optional<QByteArray> decryptAes128(const QByteArray& data, const QByteArray& key, const QByteArray& iv);
    // The reason a request that failed for good gives the stream.
    static QString failureReason(int httpError);

private:
    VideoFile m_record;
    DownloadTimeouts m_timeouts;
    const std::atomic<bool>* m_stop;
    std::atomic<bool> m_cancelled{false};
    mutable QMutex m_keysMutex;
    QHash<QUrl, QByteArray> m_keys;
};
