#pragma once

#include "base/Settings.h"
#include "download/DownloadTimeouts.h"
#include "model/VideoFile.h"
#include "streams/StreamPlan.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// Downloads one stream candidate: its playlists (through StreamPlanBuilder), then the chosen
// tracks' segments, kParallel at a time, each with kAttempts attempts, decrypting AES-128 ones.
// Every finished segment is kept in its own file under `folder`, so a run after a failure
// fetches only what is missing; the tracks are joined (init sections in place) only when every
// segment is there. Runs on the calling thread.
class StreamDownload final
{
public:
    enum class Outcome
    {
        Done,      // every track joined: `trackFiles`
        Failed,    // `reason`: "Timeout", "Conn err" or what was wrong with the manifest
        Protected, // DRM: nothing downloaded
        Stopped,   // the stop flag was raised
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString reason;
        StreamPlan plan;
        QStringList trackFiles; // the video (or only) track first
    };

    // Called from the segment threads: segments done so far, of `total`. Returning false
    // stops the download (the user removed it): the outcome is Stopped.
    using Progress = std::function<bool(int done, int total)>;

    static constexpr int kParallel = 4;
    static constexpr int kAttempts = 3;
    static constexpr qint64 kLargestPlaylist = 8 * 1024 * 1024;
    static constexpr qint64 kLargestSegment = qint64(1) << 31;
    static constexpr qint64 kLargestKey = 64;

    StreamDownload(VideoFile record,
                   QString folder,
                   StreamVariantChoice choice = StreamVariantChoice::Best,
                   const std::atomic<bool>* stop = nullptr);

    void setTimeouts(const DownloadTimeouts& timeouts) { m_timeouts = timeouts; }

    Result run(const Progress& progress = {});

    // AES-128-CBC with PKCS#7 padding; none when the key or IV is not 16 bytes, the data is
    // not whole blocks or the padding is wrong.
    static std::optional<QByteArray> decryptAes128(const QByteArray& data, const QByteArray& key, const QByteArray& iv);

    // The reason a request that failed for good gives the stream.
    static QString failureReason(int httpError);

private:
    struct Fetched
    {
        QByteArray bytes;
        int error = 0;   // HttpError
        long status = 0; // the HTTP status, when answered
        bool ok() const { return error == 0 && (status == 200 || status == 206); }
    };

    Fetched fetch(const QString& url, const std::optional<ByteRange>& range, qint64 limit) const;
    Fetched fetchWithRetries(const QString& url, const std::optional<ByteRange>& range, qint64 limit) const;
    std::optional<StreamPlan> buildPlan(Result& result) const;
    bool downloadSegments(const StreamPlan& plan, const Progress& progress, Result& result);
    bool fetchKeys(const StreamPlan& plan, Result& result);
    std::optional<QByteArray> decrypted(const QByteArray& bytes, const SegmentKey& key) const;
    QString segmentPath(int track, int segment) const;
    QString initPath(int track, int section) const;
    bool joinTrack(const TrackPlan& track, int index, QString& file, QString& reason);
    bool stopped() const { return m_cancelled || (m_stop && m_stop->load()); }

    VideoFile m_record;
    QString m_folder;
    StreamVariantChoice m_choice;
    const std::atomic<bool>* m_stop;
    DownloadTimeouts m_timeouts;
    QHash<QUrl, QByteArray> m_keys; // filled before the segment threads start
    std::atomic<bool> m_cancelled{false};
};
