#include "download/StreamRecorder.h"

#include "base/Trace.h"
#include "download/HttpRequest.h"
#include "download/StreamFetcher.h"
#include "streams/HlsPlaylist.h"

#include <QDateTime>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

using std::chrono::milliseconds;

// Outage reloads come after 1 and then every 2 seconds: a server back is found soon.
constexpr milliseconds kFirstBackOff{1000};
constexpr milliseconds kLongestBackOff{2000};
// Waits report the recording's progress (and learn of a stop) this often.
constexpr milliseconds kReportEvery{200};
// A live request waits no longer than this for its bytes: the stream moves on meanwhile.
constexpr milliseconds kLiveConnect{10000};
constexpr milliseconds kLiveReceive{20000};

QString initKey(const InitSection& section)
{
    return section.url.toString(QUrl::FullyEncoded) + QLatin1Char(' ') +
           (section.range ? QStringLiteral("%1+%2").arg(section.range->offset).arg(section.range->length) : QString());
}

QString seconds(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

StreamRecorder::StreamRecorder(StreamFetcher& fetcher,
                               QString folder,
                               StreamVariantChoice choice,
                               StreamDownload::LiveLimits limits)
    : m_fetcher(fetcher)
    , m_folder(std::move(folder))
    , m_choice(choice)
    , m_limits(std::move(limits))
{}

std::chrono::milliseconds StreamRecorder::reloadInterval(const StreamPlan& plan, bool changed)
{
    double interval = plan.targetDuration;
    if (plan.format == StreamFormat::Hls) {
        if (!changed)
            interval /= 2;
    } else {
        for (const TrackPlan& track : plan.tracks) {
            for (const SegmentRequest& segment : track.segments) {
                if (segment.duration > 0)
                    interval = interval > 0 ? std::min(interval, segment.duration) : segment.duration;
            }
        }
        if (plan.minimumUpdatePeriod > 0)
            interval = interval > 0 ? std::min(interval, plan.minimumUpdatePeriod) : plan.minimumUpdatePeriod;
    }
    // A duration of days from the manifest is as good as none: the limits bound it.
    return milliseconds(qint64(std::clamp(interval, 0.0, 86400.0) * 1000));
}

bool StreamRecorder::report()
{
    StreamDownload::Progress progress;
    progress.live = true;
    progress.done = m_segments;
    progress.bytes = m_bytes;
    progress.recordedSeconds = m_result.recordedSeconds;
    if (m_progress && *m_progress && !(*m_progress)(progress))
        m_fetcher.cancel();
    return !m_fetcher.stopped();
}

bool StreamRecorder::wait(Clock::time_point until)
{
    while (Clock::now() < until) {
        if (!report())
            return false;
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
        QThread::msleep(quint64(std::clamp(left, milliseconds(1), kReportEvery).count()));
    }
    return report();
}

void StreamRecorder::end(StreamDownload::LiveEnding ending, const QString& reason)
{
    if (m_ending)
        return;
    m_ending = ending;
    m_result.ending = ending;
    m_result.reason = reason;
    if (!reason.isEmpty())
        trace(QStringLiteral("Live recording ends: ") + reason);
}

void StreamRecorder::noteGap(int index, double missed)
{
    // The result counts the gaps of the pictures (or of the only track); the trace every one.
    if (index == 0)
        m_result.gaps.append({m_result.recordedSeconds, missed});
    trace(QStringLiteral("Live recording gap at %1 s (track %2): about %3 s of the stream missed")
              .arg(seconds(m_result.recordedSeconds))
              .arg(index)
              .arg(seconds(missed)));
}

std::optional<QString> StreamRecorder::initFile(int index, const TrackPlan& plan, const SegmentRequest& segment)
{
    if (segment.initSection < 0 || segment.initSection >= plan.initSections.size())
        return QString();
    const InitSection& section = plan.initSections.at(segment.initSection);
    Track& track = m_tracks[index];
    const QString key = initKey(section);
    if (const auto found = track.initFiles.constFind(key); found != track.initFiles.cend())
        return *found;
    const StreamFetcher::Fetched fetched =
        m_fetcher.fetch(section.url, section.range, StreamFetcher::kLargestPlaylist, m_connection);
    QString why;
    const std::optional<QByteArray> plain =
        fetched.ok() ? m_fetcher.decrypted(fetched.bytes, section.key, why, m_connection) : std::nullopt;
    const QString path = m_folder + QStringLiteral("/t%1-i%2.seg").arg(index).arg(track.initFiles.size());
    if (!plain || !StreamJoin::writeWhole(path, *plain))
        return std::nullopt;
    m_bytes += plain->size();
    track.initFiles.insert(key, path);
    return path;
}

StreamRecorder::Step
StreamRecorder::recordSegment(int index, const TrackPlan& plan, const SegmentRequest& segment, bool reachable)
{
    Track& track = m_tracks[index];
    if (m_segments >= m_limits.segments || m_bytes >= m_limits.bytes) {
        end(StreamDownload::LiveEnding::Bound,
            QStringLiteral("The recording stopped: it reached its bound of %1 segments or %2 bytes.")
                .arg(m_limits.segments)
                .arg(m_limits.bytes));
        return Step::Halt;
    }
    // Room for the segment, the joined tracks and the muxed file after them.
    if (m_limits.freeSpace) {
        RecordJob::DiskSpace space = m_limits.freeSpace(m_folder);
        if (space.available >= 0)
            space.available -= 2 * m_bytes;
        if (RecordJob::belowFloor(space)) {
            end(StreamDownload::LiveEnding::DiskLow, RecordJob::lowSpaceText());
            return Step::Halt;
        }
    }
    const std::optional<QString> init = initFile(index, plan, segment);
    std::optional<QByteArray> plain;
    if (init) {
        const StreamFetcher::Fetched fetched =
            m_fetcher.fetch(segment.url, segment.range, StreamDownload::kLargestSegment, m_connection);
        QString why;
        if (fetched.ok())
            plain = m_fetcher.decrypted(fetched.bytes, segment.key, why, m_connection);
    }
    const QString path = m_folder + QStringLiteral("/t%1-s%2.seg").arg(index).arg(track.pieces.size());
    if (!plain || !StreamJoin::writeWhole(path, *plain)) {
        if (m_fetcher.stopped())
            return Step::Halt;
        m_segmentFailed = true;
        trace(QStringLiteral("Live segment failed: ") + segment.url.toString());
        // A segment the server keeps refusing while its playlist answers is passed by.
        if (reachable && ++track.failures >= StreamFetcher::kAttempts) {
            track.failures = 0;
            track.window.recorded(segment);
            track.gapPending = true;
            noteGap(index, segment.duration);
            return Step::Going;
        }
        return Step::Halt;
    }
    track.failures = 0;
    track.window.recorded(segment);
    if (!track.pieces.isEmpty() && (track.gapPending || segment.discontinuity))
        track.runStarts.append(track.pieces.size());
    track.gapPending = false;
    track.pieces.append({*init, path});
    m_bytes += plain->size();
    ++m_segments;
    if (index == 0)
        m_result.recordedSeconds += segment.duration;
    m_newSegments = true;
    return report() ? Step::Going : Step::Halt;
}

void StreamRecorder::record(const StreamPlan& plan, bool reachable)
{
    for (int i = 0; i < m_tracks.size(); ++i) {
        // The track of the same kind in this plan (a DASH reload may order them anew).
        const auto found = std::find_if(plan.tracks.cbegin(), plan.tracks.cend(),
                                        [&](const TrackPlan& track) { return track.kind == m_tracks[i].kind; });
        if (found == plan.tracks.cend())
            continue;
        const LiveWindow::Update update = m_tracks[i].window.update(found->segments);
        if (update.gap && m_tracks[i].window.last()) {
            m_tracks[i].gapPending = true;
            noteGap(i, update.missed);
        }
        for (const SegmentRequest& segment : update.fresh) {
            if (m_fetcher.stopped())
                return;
            const Step step = recordSegment(i, *found, segment, reachable);
            if (m_ending || m_fetcher.stopped())
                return;
            if (step == Step::Halt)
                break; // this track goes on after the next reload
        }
    }
}

std::optional<StreamPlan> StreamRecorder::reload(const StreamPlan& current, QString& reason)
{
    if (current.format == StreamFormat::Dash) {
        StreamFetcher::Planned planned = m_fetcher.buildPlan(m_choice, QDateTime::currentDateTimeUtc(), m_connection);
        if (!planned.plan || planned.plan->isProtected) {
            reason = planned.plan ? QStringLiteral("Protected") : planned.reason;
            return std::nullopt;
        }
        return planned.plan;
    }
    StreamPlan next = current;
    next.live = false;
    for (TrackPlan& track : next.tracks) {
        const StreamFetcher::Fetched fetched =
            m_fetcher.fetch(track.playlistUrl, std::nullopt, StreamFetcher::kLargestPlaylist, m_connection);
        if (!fetched.ok()) {
            reason = StreamFetcher::failureReason(fetched.error == HttpError::None ? HttpError::ConnectionClosed
                                                                                   : fetched.error);
            return std::nullopt;
        }
        StreamResult<HlsPlaylist> parsed = HlsPlaylist::parse(fetched.bytes, track.playlistUrl);
        if (!parsed.ok() || parsed.value().kind != HlsPlaylist::Kind::Media || parsed.value().isProtected) {
            reason = parsed.ok() ? QStringLiteral("the playlist is no longer a media playlist") : parsed.error().text;
            return std::nullopt;
        }
        const HlsPlaylist& playlist = parsed.value();
        track.segments = playlist.segments;
        track.initSections = playlist.initSections;
        track.duration = playlist.duration();
        next.targetDuration = playlist.targetDuration > 0 ? playlist.targetDuration : next.targetDuration;
        next.live = next.live || playlist.live();
    }
    return next;
}

StreamDownload::Result
StreamRecorder::run(const StreamPlan& first, const StreamDownload::ProgressHandler& progress, CurlEasy& connection)
{
    m_progress = &progress;
    m_connection = &connection;
    m_result.live = true;
    m_result.plan = first;
    DownloadTimeouts timeouts = m_fetcher.timeouts();
    timeouts.downloadConnect = std::min(timeouts.downloadConnect, kLiveConnect);
    timeouts.downloadReceive = std::min(timeouts.downloadReceive, kLiveReceive);
    m_fetcher.setTimeouts(timeouts);
    for (const TrackPlan& plan : first.tracks) {
        Track track;
        track.window = LiveWindow(first.format);
        track.kind = plan.kind;
        track.playlistUrl = plan.playlistUrl;
        m_tracks.append(track);
    }
    trace(QStringLiteral("Live recording starts: ") + first.manifestUrl.toString());

    StreamPlan plan = first;
    bool reachable = true;
    bool outage = false;
    Clock::time_point outageSince{};
    Clock::time_point lastNew = Clock::now();
    milliseconds backOff = kFirstBackOff;
    while (!m_ending) {
        const Clock::time_point roundStart = Clock::now();
        m_newSegments = false;
        m_segmentFailed = false;
        if (reachable)
            record(plan, reachable);
        if (m_ending || m_fetcher.stopped())
            break;
        if (!plan.live && !m_segmentFailed) {
            end(StreamDownload::LiveEnding::Ended);
            break;
        }
        // A stream whose playlist answers but no longer grows has ended without saying so.
        const milliseconds stall =
            std::max(m_limits.outage, milliseconds(qint64(std::min(plan.targetDuration, 86400.0) * 3000)));
        if (m_newSegments || !reachable) {
            lastNew = Clock::now();
        } else if (Clock::now() - lastNew > stall) {
            end(StreamDownload::LiveEnding::ServerGone,
                QStringLiteral("The recording stopped: the stream brought nothing new for %1 s.")
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(stall).count()));
            break;
        }
        milliseconds interval = reloadInterval(plan, m_newSegments);
        if (!reachable || m_segmentFailed) {
            interval = backOff;
            backOff = std::min(backOff * 2, kLongestBackOff);
        } else {
            backOff = kFirstBackOff;
        }
        interval =
            std::clamp(interval, m_limits.shortestReload, std::max(m_limits.shortestReload, m_limits.longestReload));
        if (!wait(roundStart + interval))
            break;
        QString reason;
        std::optional<StreamPlan> next = reload(plan, reason);
        reachable = next.has_value();
        if (next) {
            if (outage) {
                trace(QStringLiteral("Live stream answers again after %1 s")
                          .arg(seconds(std::chrono::duration<double>(Clock::now() - outageSince).count())));
                outage = false;
            }
            plan = std::move(*next);
            continue;
        }
        if (m_fetcher.stopped())
            break;
        if (!outage) {
            outage = true;
            outageSince = Clock::now();
            trace(QStringLiteral("Live stream does not answer (%1); trying again").arg(reason));
        } else if (Clock::now() - outageSince > m_limits.outage) {
            end(StreamDownload::LiveEnding::ServerGone,
                QStringLiteral("The recording stopped: the stream did not answer for %1 s.")
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(m_limits.outage).count()));
            m_lastFailure = reason;
        }
    }
    if (!m_ending)
        end(StreamDownload::LiveEnding::Stopped);
    return finish();
}

std::optional<QString> StreamRecorder::trackFile(int index)
{
    const Track& track = m_tracks.at(index);
    const QString name =
        QStringLiteral("track%1.%2")
            .arg(index)
            .arg(track.kind == TrackPlan::Kind::Audio ? QLatin1String("audio") : QLatin1String("video"));
    if (track.runStarts.isEmpty()) {
        const QString file = m_folder + QLatin1Char('/') + name;
        return StreamJoin::join(track.pieces, file) ? std::optional<QString>(file) : std::nullopt;
    }
    QByteArray list = "ffconcat version 1.0\n";
    QList<qsizetype> starts = track.runStarts;
    starts.prepend(0);
    starts.append(track.pieces.size());
    for (qsizetype run = 0; run + 1 < starts.size(); ++run) {
        const QString runName = QStringLiteral("run%1-").arg(run) + name;
        if (!StreamJoin::join(track.pieces.mid(starts[run], starts[run + 1] - starts[run]),
                              m_folder + QLatin1Char('/') + runName))
            return std::nullopt;
        // No "duration": a run's sound may end a few milliseconds after its pictures, and ffmpeg
        // places the next run after the end of both only when it measures the run itself.
        list += "file " + runName.toUtf8() + '\n';
    }
    const QString file = m_folder + QLatin1Char('/') + name + QStringLiteral(".ffconcat");
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(list) != list.size() || !out.commit())
        return std::nullopt;
    return file;
}

StreamDownload::Result StreamRecorder::finish()
{
    m_result.trackFiles.clear();
    for (int i = 0; i < m_tracks.size(); ++i) {
        if (m_tracks.at(i).pieces.isEmpty())
            continue;
        const std::optional<QString> file = trackFile(i);
        if (!file) {
            m_result.outcome = StreamDownload::Outcome::Failed;
            m_result.reason = QStringLiteral("Disk err");
            m_result.trackFiles.clear();
            return m_result;
        }
        m_result.trackFiles << *file;
    }
    trace(QStringLiteral("Live recording ends after %1 s in %2 segments, %3 gaps")
              .arg(seconds(m_result.recordedSeconds))
              .arg(m_segments)
              .arg(m_result.gaps.size()));
    // Only the video (or only) track makes a programme: sound alone of a video stream does not.
    if (m_tracks.isEmpty() || m_tracks.constFirst().pieces.isEmpty()) {
        m_result.trackFiles.clear();
        if (m_result.ending == StreamDownload::LiveEnding::Stopped) {
            m_result.outcome = StreamDownload::Outcome::Stopped;
        } else {
            m_result.outcome = StreamDownload::Outcome::Failed;
            if (!m_lastFailure.isEmpty())
                m_result.reason = m_lastFailure;
            else if (m_result.reason.isEmpty())
                m_result.reason = QStringLiteral("Conn err");
        }
        return m_result;
    }
    m_result.outcome = StreamDownload::Outcome::Done;
    return m_result;
}
