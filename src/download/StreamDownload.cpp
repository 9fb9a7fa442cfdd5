#include "download/StreamDownload.h"

#include "base/Trace.h"
#include "download/CookieJar.h"
#include "download/StreamFetcher.h"
#include "download/StreamJoin.h"
#include "download/StreamMux.h"
#include "download/StreamRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

StreamDownload::StreamDownload(VideoFile record,
                               QString folder,
                               StreamVariantChoice choice,
                               const std::atomic<bool>* stop)
    : m_record(std::move(record))
    , m_folder(std::move(folder))
    , m_choice(choice)
    , m_stop(stop)
{}

StreamDownload::~StreamDownload() = default;

QString StreamDownload::progressText(const Progress& progress)
{
    if (progress.live) {
        const qint64 seconds = qint64(std::floor(std::max(0.0, progress.recordedSeconds)));
        const QString clock =
            seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                                  .arg(seconds / 3600)
                                  .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                  .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                            : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
        return QStringLiteral("Live ") + clock;
    }
    if (progress.total <= 0)
        return QStringLiteral("0%");
    return QString::number(qint64(progress.done) * 100 / progress.total) + QLatin1Char('%');
}

QString StreamDownload::segmentPath(int track, int segment) const
{
    return m_folder + QStringLiteral("/t%1-s%2.seg").arg(track).arg(segment);
}

QString StreamDownload::initPath(int track, int section) const
{
    return m_folder + QStringLiteral("/t%1-i%2.seg").arg(track).arg(section);
}

QList<QStringList> StreamDownload::muxInputs(const StreamPlan& plan) const
{
    QList<QStringList> inputs;
    for (int t = 0; t < plan.tracks.size(); ++t) {
        const TrackPlan& track = plan.tracks.at(t);
        QList<StreamJoin::Piece> pieces;
        for (int i = 0; i < track.segments.size(); ++i) {
            const int init = track.segments.at(i).initSection;
            pieces.append({init >= 0 ? initPath(t, init) : QString(), segmentPath(t, i)});
        }
        inputs << StreamJoin::order(pieces);
    }
    return inputs;
}

bool StreamDownload::downloadSegments(
    StreamFetcher& fetcher, const StreamPlan& plan, const ProgressHandler& progress, Result& result, StreamMux* mux)
{
    // Every piece to fetch, init sections first, then the segments of all tracks in the order of
    // the programme, as a mux reads them; those kept from an earlier run are done.
    struct Job
    {
        QString path;
        QUrl url;
        std::optional<ByteRange> range;
        SegmentKey key;
        double at = -1; // where the segment starts in the programme, seconds; -1 for init sections
    };
    std::vector<Job> jobs;
    for (int t = 0; t < plan.tracks.size(); ++t) {
        const TrackPlan& track = plan.tracks.at(t);
        for (int i = 0; i < track.initSections.size(); ++i) {
            const InitSection& section = track.initSections.at(i);
            jobs.push_back({initPath(t, i), section.url, section.range, section.key});
        }
        double at = 0;
        for (int i = 0; i < track.segments.size(); ++i) {
            const SegmentRequest& segment = track.segments.at(i);
            jobs.push_back({segmentPath(t, i), segment.url, segment.range, segment.key, at});
            at += std::max(0.0, segment.duration);
        }
    }
    std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.at < b.at; });
    const int total = int(jobs.size());
    std::atomic<int> next{0};
    std::mutex reporting; // guards the two counts and orders the reports
    int done = 0;
    qint64 bytes = 0;
    std::atomic<bool> failed{false};
    std::mutex failure;
    QString reason;
    const auto work = [&] {
        // One kept connection per thread: its segments ride the same keep-alive connection.
        CurlEasy connection;
        for (int j = next++; j < total && !failed && !fetcher.stopped(); j = next++) {
            const Job& job = jobs.at(size_t(j));
            qint64 size = QFileInfo(job.path).size();
            if (!QFileInfo::exists(job.path)) {
                const StreamFetcher::Fetched fetched =
                    fetcher.fetchWithRetries(job.url, job.range, kLargestSegment, &connection);
                QString why = fetched.ok() ? QString() : StreamFetcher::failureReason(fetched.error);
                const std::optional<QByteArray> plain =
                    fetched.ok() ? fetcher.decrypted(fetched.bytes, job.key, why, &connection) : std::nullopt;
                if (!plain || !StreamJoin::writeWhole(job.path, *plain)) {
                    if (!failed.exchange(true)) {
                        std::lock_guard lock(failure);
                        reason = why.isEmpty() ? QStringLiteral("Conn err") : why;
                    }
                    return;
                }
                size = plain->size();
            }
            if (mux)
                mux->arrived(job.path);
            // Counted and reported under one lock: the reports arrive in the order of their
            // counts, so the row never steps back from 75% to 50%, nor ends short of 100%.
            bool going = true;
            {
                std::lock_guard lock(reporting);
                Progress now;
                now.done = ++done;
                now.total = total;
                now.bytes = bytes += size;
                going = !progress || progress(now);
            }
            if (!going)
                fetcher.cancel();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < std::min(kParallel, total); ++i)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();
    if (fetcher.stopped()) {
        result.outcome = Outcome::Stopped;
        return false;
    }
    if (failed) {
        result.reason = reason;
        return false;
    }
    return true;
}

StreamDownload::Result StreamDownload::run(const ProgressHandler& progress)
{
    Result result;
    // The store first: it runs libcurl's global set-up before the kept handles below exist.
    CookieJar& jar = CookieJar::instance();
    for (const auto& [name, value] : CookieJar::split(m_record.cookie))
        jar.store(m_record.url, name, value);
    StreamFetcher fetcher(m_record, m_timeouts, m_stop);
    CurlEasy connection;
    StreamFetcher::Planned planned = fetcher.buildPlan(m_choice, QDateTime::currentDateTimeUtc(), &connection);
    if (!planned.plan) {
        result.outcome = planned.stopped ? Outcome::Stopped : Outcome::Failed;
        result.reason = planned.reason;
        return result;
    }
    const StreamPlan& plan = *planned.plan;
    result.plan = plan;
    if (plan.isProtected) {
        result.outcome = Outcome::Protected;
        result.reason = QStringLiteral("Protected");
        return result;
    }
    // A recording is never continued: each one has a folder of its own beside the address's.
    const QString folder =
        plan.live ? m_folder + QStringLiteral("-live-%1").arg(QDateTime::currentMSecsSinceEpoch()) : m_folder;
    if (!QDir().mkpath(folder)) {
        result.reason = QStringLiteral("Disk err");
        return result;
    }
    if (plan.live) {
        StreamRecorder recorder(fetcher, folder, m_choice, m_liveLimits);
        return recorder.run(plan, progress, connection);
    }
    // The mux starts at once: ffmpeg reads each segment as soon as it is on disk.
    const QList<QStringList> inputs = muxInputs(plan);
    const QString container = StreamMux::containerFor(plan);
    StreamMux mux(m_folder, inputs, container);
    const bool muxing = mux.start();
    if (!downloadSegments(fetcher, plan, progress, result, muxing ? &mux : nullptr)) {
        mux.abandon();
        mux.finish();
        return result;
    }
    // After a failed mux beside the download (the codecs, or an ffmpeg that died) the container
    // is tried once more from the segment files, then Matroska.
    QStringList later{container, QStringLiteral(".mkv")};
    later.removeDuplicates();
    if (muxing) {
        const StreamMux::Result muxed = mux.finish(m_stop);
        if (muxed.outcome == StreamMux::Outcome::Muxed) {
            result.outcome = Outcome::Done;
            result.muxedFile = muxed.file;
            return result;
        }
        if (muxed.outcome == StreamMux::Outcome::Abandoned) {
            result.outcome = Outcome::Stopped;
            return result;
        }
        trace(QStringLiteral("Stream mux into %1 beside the download failed: %2").arg(container, muxed.why));
    }
    muxAfterwards(inputs, later, result);
    return result;
}

// The mux once every segment is there, into each container in turn until one takes the tracks.
void StreamDownload::muxAfterwards(const QList<QStringList>& inputs, const QStringList& extensions, Result& result)
{
    for (const QString& extension : extensions) {
        StreamMux mux(m_folder, inputs, extension);
        for (const QStringList& files : inputs) {
            for (const QString& file : files)
                mux.arrived(file);
        }
        mux.start();
        const StreamMux::Result muxed = mux.finish(m_stop);
        if (muxed.outcome == StreamMux::Outcome::Muxed) {
            result.outcome = Outcome::Done;
            result.muxedFile = muxed.file;
            return;
        }
        if (muxed.outcome == StreamMux::Outcome::Abandoned) {
            result.outcome = Outcome::Stopped;
            return;
        }
        trace(QStringLiteral("Stream mux into %1 failed: %2").arg(extension, muxed.why));
    }
    result.outcome = Outcome::Failed;
    result.reason = QStringLiteral("Mux err");
}
