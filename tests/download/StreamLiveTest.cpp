// Live streams recorded through the stream downloader: an HLS playlist that grows while the
// test runs (segments ffmpeg made beforehand, published one a second) and a dynamic MPD, served
// by nginx; an outage of the server, a stop, the end of the stream and the recording's bounds.
#include "download/StreamDownload.h"

#include "support/DownloadTestBed.h"
#include "support/LiveHlsPlaylist.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <future>

namespace {

const QString kStreamTypes = QStringLiteral("types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; "
                                            "application/dash+xml mpd; video/iso.segment m4s; video/mp4 mp4; }\n");

// A track file muxed as the stream assembly muxes it (into MP4, every stream copied).
QString muxed(const QString& track)
{
    const QString file = track + QStringLiteral(".mp4");
    EXPECT_TRUE(MediaFixture::make(file, {QStringLiteral("-i"), track, QStringLiteral("-map"), QStringLiteral("0"),
                                          QStringLiteral("-c"), QStringLiteral("copy")}));
    return file;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Waits up to `seconds` for `condition`.
template <typename Condition> bool waitFor(Condition condition, int seconds)
{
    const QDeadlineTimer deadline(std::chrono::seconds{seconds});
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

class StreamLiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        m_www = m_dir.filePath(QStringLiteral("www"));
        QDir().mkpath(m_www);
        m_nginx = std::make_unique<NginxServer>(m_www);
        if (!m_nginx->isAvailable())
            TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
        // Which connection carried each request, and its how-manieth it was.
        m_nginx->setHttpDirectives(QStringLiteral("log_format connections '$connection $connection_requests $uri';\n"));
        m_nginx->setServerDirectives(kStreamTypes +
                                     QStringLiteral("access_log %1 connections;\n").arg(accessLogPath()));
        ASSERT_TRUE(m_nginx->start()) << m_nginx->error().toStdString();
    }

    QString accessLogPath() const { return m_dir.filePath(QStringLiteral("access.log")); }

    // The download runs on a thread of its own while the test plays the server.
    void startDownload(const QString& path,
                       VideoFile::Stream stream = VideoFile::Stream::Hls,
                       std::optional<StreamDownload::LiveLimits> limits = std::nullopt)
    {
        VideoFile record;
        record.url = m_nginx->url(path);
        record.stream = stream;
        record.userAgent = QStringLiteral("TestBrowser/1.0");
        m_download = std::make_unique<StreamDownload>(record, m_dir.filePath(QStringLiteral("work/stream")),
                                                      StreamVariantChoice::Best, &m_stop);
        DownloadTimeouts timeouts;
        timeouts.downloadConnect = std::chrono::milliseconds(3000);
        timeouts.downloadReceive = std::chrono::milliseconds(3000);
        m_download->setTimeouts(timeouts);
        if (limits)
            m_download->setLiveLimits(*limits);
        m_recordedMs = 0;
        m_segments = 0;
        m_bytes = 0;
        m_result = std::async(std::launch::async, [this] {
            return m_download->run([this](const StreamDownload::Progress& progress) {
                m_recordedMs = qint64(progress.recordedSeconds * 1000);
                m_segments = progress.done;
                m_bytes = progress.bytes;
                m_reports += progress.live ? 1 : 0;
                return !m_userStop;
            });
        });
    }

    StreamDownload::Result result(int seconds = 90)
    {
        if (m_result.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
            ADD_FAILURE() << "the recording did not end";
            m_stop = true;
        }
        return m_result.get();
    }

    bool recorded(double seconds, int within = 30)
    {
        return waitFor([&] { return m_recordedMs >= qint64(seconds * 1000); }, within);
    }

    // The connections the server saw and the most requests one of them carried.
    std::pair<int, int> connections() const
    {
        QFile log(accessLogPath());
        QSet<QByteArray> distinct;
        int most = 0;
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() < 3)
                    continue;
                distinct.insert(fields.at(0));
                most = std::max(most, fields.at(1).toInt());
            }
        }
        return {int(distinct.size()), most};
    }

    QTemporaryDir m_dir;
    QString m_www;
    std::unique_ptr<NginxServer> m_nginx;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_userStop{false};
    std::atomic<qint64> m_recordedMs{0};
    std::atomic<int> m_segments{0};
    std::atomic<qint64> m_bytes{0};
    std::atomic<int> m_reports{0};
    std::unique_ptr<StreamDownload> m_download;
    std::future<StreamDownload::Result> m_result;
};

// The server goes away for 20 s in the middle: the recording rides it out, resumes at the edge
// with the gap noted, and ends with the stream (EXT-X-ENDLIST), whole and decodable.
TEST_F(StreamLiveTest, HlsRidesOutAnOutageAndEndsWithTheStream)
{
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www, 45));
    LiveHlsPlaylist live(m_www);
    ASSERT_TRUE(live.start());
    startDownload(QStringLiteral("/live.m3u8"));
    ASSERT_TRUE(recorded(4)) << "recorded " << m_recordedMs << " ms";

    m_nginx->stop();
    const qint64 before = m_recordedMs;
    QThread::sleep(20);
    EXPECT_EQ(m_recordedMs, before) << "recorded while the server was away";
    ASSERT_TRUE(m_nginx->start()) << m_nginx->error().toStdString();
    ASSERT_TRUE(recorded(double(before) / 1000 + 3)) << "no segment after the outage";
    EXPECT_LT(live.published(), live.total()) << "the programme ran out before the test ended the stream";
    live.endList();

    const StreamDownload::Result done = result();
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_TRUE(done.live);
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Ended);
    EXPECT_TRUE(done.reason.isEmpty()) << done.reason.toStdString();
    ASSERT_EQ(done.gaps.size(), 1);
    // A 5 s window: about 20 s went by, less what the window still held, plus the segments
    // behind the edge where the recording resumed.
    EXPECT_GT(done.gaps.first().missed, 10.0);
    EXPECT_LT(done.gaps.first().missed, 25.0);
    EXPECT_NEAR(done.gaps.first().at, double(before) / 1000, 1.01);
    ASSERT_EQ(done.trackFiles.size(), 1);
    const QString file = done.trackFiles.first();
    EXPECT_EQ(MediaFixture::decodeErrors(file), QString());
    EXPECT_TRUE(MediaFixture::probe(file).contains(QLatin1String("codec_type=audio")));
    // The runs before and after the gap follow each other: what was recorded, without the gap.
    EXPECT_TRUE(file.endsWith(QLatin1String(".ffconcat"))) << file.toStdString();
    const QString mp4 = muxed(file);
    EXPECT_EQ(MediaFixture::decodeErrors(mp4), QString());
    EXPECT_NEAR(MediaFixture::duration(mp4), done.recordedSeconds, 1.0);
    EXPECT_NEAR(done.recordedSeconds, double(m_recordedMs) / 1000, 0.01);
    EXPECT_GT(m_bytes, 0);
}

// The user's stop and the program's: what was recorded is kept and joined, whole up to its
// last segment, and every request of the recording rode one kept connection.
TEST_F(StreamLiveTest, StoppingKeepsWhatWasRecorded)
{
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www, 30));
    for (const bool byUser : {true, false}) {
        SCOPED_TRACE(byUser ? "the user's stop" : "the program's stop");
        const QString name = byUser ? QStringLiteral("user.m3u8") : QStringLiteral("program.m3u8");
        LiveHlsPlaylist live(m_www, name);
        ASSERT_TRUE(live.start());
        QFile::remove(accessLogPath());
        m_nginx->stop(); // a fresh log and fresh connection numbers
        ASSERT_TRUE(m_nginx->start());
        m_stop = false;
        m_userStop = false;
        startDownload(QLatin1Char('/') + name);
        ASSERT_TRUE(recorded(5));
        (byUser ? m_userStop : m_stop) = true;
        const StreamDownload::Result done = result(30);
        ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
        EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Stopped);
        EXPECT_TRUE(done.gaps.isEmpty());
        EXPECT_GE(done.recordedSeconds, 5.0);
        ASSERT_EQ(done.trackFiles.size(), 1);
        EXPECT_EQ(MediaFixture::decodeErrors(done.trackFiles.first()), QString());
        EXPECT_NEAR(MediaFixture::duration(done.trackFiles.first()), done.recordedSeconds, 1.5);
        const auto [distinct, most] = connections();
        EXPECT_EQ(distinct, 1) << "playlists and segments each on a connection of their own";
        EXPECT_GE(most, 6);
        live.stop();
    }
}

// A dynamic MPD whose segments come out by the clock ($Number$ template), video and sound apart;
// it turns static and the recording takes the rest and ends.
TEST_F(StreamLiveTest, DashDynamicNumberTemplateUntilStatic)
{
    const QString folder = m_www + QStringLiteral("/dash");
    QDir().mkpath(folder);
    const QString manifest = folder + QStringLiteral("/manifest.mpd");
    ASSERT_TRUE(MediaFixture::make(manifest, {QStringLiteral("-f"),
                                              QStringLiteral("lavfi"),
                                              QStringLiteral("-i"),
                                              QStringLiteral("testsrc=duration=12:size=320x180:rate=25"),
                                              QStringLiteral("-f"),
                                              QStringLiteral("lavfi"),
                                              QStringLiteral("-i"),
                                              QStringLiteral("sine=duration=12"),
                                              QStringLiteral("-map"),
                                              QStringLiteral("0:v"),
                                              QStringLiteral("-map"),
                                              QStringLiteral("1:a"),
                                              QStringLiteral("-c:v"),
                                              QStringLiteral("libx264"),
                                              QStringLiteral("-pix_fmt"),
                                              QStringLiteral("yuv420p"),
                                              QStringLiteral("-g"),
                                              QStringLiteral("25"),
                                              QStringLiteral("-keyint_min"),
                                              QStringLiteral("25"),
                                              QStringLiteral("-sc_threshold"),
                                              QStringLiteral("0"),
                                              QStringLiteral("-c:a"),
                                              QStringLiteral("aac"),
                                              QStringLiteral("-f"),
                                              QStringLiteral("dash"),
                                              QStringLiteral("-seg_duration"),
                                              QStringLiteral("1"),
                                              QStringLiteral("-use_timeline"),
                                              QStringLiteral("0"),
                                              QStringLiteral("-use_template"),
                                              QStringLiteral("1"),
                                              QStringLiteral("-adaptation_sets"),
                                              QStringLiteral("id=0,streams=v id=1,streams=a")}));
    QFile original(manifest);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray vod = original.readAll();
    original.close();
    ASSERT_TRUE(vod.contains("$Number%05d$")) << vod.constData();
    // Live since 3.5 s ago: three segments out, one more every second.
    QByteArray dynamic = vod;
    dynamic.replace("type=\"static\"",
                    "type=\"dynamic\" minimumUpdatePeriod=\"PT1S\" availabilityStartTime=\"" +
                        QDateTime::currentDateTimeUtc().addMSecs(-3500).toString(Qt::ISODateWithMs).toLatin1() + "\"");
    const qsizetype duration = dynamic.indexOf("mediaPresentationDuration=");
    ASSERT_GE(duration, 0);
    dynamic.remove(duration, dynamic.indexOf('"', dynamic.indexOf('"', duration) + 1) - duration + 1);
    ASSERT_TRUE(writeFile(manifest, dynamic));

    startDownload(QStringLiteral("/dash/manifest.mpd"), VideoFile::Stream::Dash);
    ASSERT_TRUE(recorded(6)) << "recorded " << m_recordedMs << " ms";
    ASSERT_TRUE(writeFile(manifest, vod));
    const StreamDownload::Result done = result();
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Ended);
    EXPECT_TRUE(done.gaps.isEmpty());
    ASSERT_EQ(done.trackFiles.size(), 2);
    EXPECT_TRUE(MediaFixture::probe(done.trackFiles.at(0)).contains(QLatin1String("width=320")));
    EXPECT_TRUE(MediaFixture::probe(done.trackFiles.at(1)).contains(QLatin1String("codec_type=audio")));
    for (const QString& file : done.trackFiles) {
        EXPECT_EQ(MediaFixture::decodeErrors(file), QString()) << file.toStdString();
        // From its first segment (the edge held all three) to its end.
        EXPECT_NEAR(MediaFixture::duration(file), 12.0, 1.5) << file.toStdString();
    }
    EXPECT_NEAR(done.recordedSeconds, 12.0, 0.01);
}

// EXT-X-DISCONTINUITY: a second programme whose time stamps start anew (an advert, an encoder
// restarted). The recording holds both, one after the other, and decodes cleanly.
TEST_F(StreamLiveTest, DiscontinuityStartsARunOfItsOwn)
{
    for (const char* part : {"a", "b"})
        ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www + QLatin1Char('/') + QLatin1String(part), 3));
    const QByteArray head = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n";
    QByteArray first = head;
    for (int i = 0; i < 3; ++i)
        first += "#EXTINF:1.0,\na/s00" + QByteArray::number(i) + ".ts\n";
    ASSERT_TRUE(writeFile(m_www + QStringLiteral("/cut.m3u8"), first));
    startDownload(QStringLiteral("/cut.m3u8"));
    ASSERT_TRUE(recorded(3));
    QByteArray second = first + "#EXT-X-DISCONTINUITY\n";
    for (int i = 0; i < 3; ++i)
        second += "#EXTINF:1.0,\nb/s00" + QByteArray::number(i) + ".ts\n";
    ASSERT_TRUE(writeFile(m_www + QStringLiteral("/cut.m3u8"), second + "#EXT-X-ENDLIST\n"));

    const StreamDownload::Result done = result(30);
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Ended);
    EXPECT_TRUE(done.gaps.isEmpty());
    ASSERT_EQ(done.trackFiles.size(), 1);
    const QString file = done.trackFiles.first();
    ASSERT_TRUE(file.endsWith(QLatin1String(".ffconcat"))) << file.toStdString();
    EXPECT_EQ(MediaFixture::decodeErrors(file).toStdString(), "");
    // Muxed, the programmes follow each other: 6 s, not a jump back.
    const QString mp4 = muxed(file);
    EXPECT_EQ(MediaFixture::decodeErrors(mp4).toStdString(), "");
    EXPECT_NEAR(MediaFixture::duration(mp4), 6.0, 0.5);
}

// The bounds of a recording: its segments, the disk's free space, a server that stays away.
// Each ends the recording with its reason and keeps what was recorded.
TEST_F(StreamLiveTest, BoundsEndTheRecordingAndKeepIt)
{
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www, 30));
    LiveHlsPlaylist live(m_www);
    ASSERT_TRUE(live.start());

    StreamDownload::LiveLimits limits;
    limits.segments = 4;
    startDownload(QStringLiteral("/live.m3u8"), VideoFile::Stream::Hls, limits);
    StreamDownload::Result done = result(30);
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Bound);
    EXPECT_FALSE(done.reason.isEmpty());
    EXPECT_EQ(m_segments, 4);
    EXPECT_NEAR(done.recordedSeconds, 4.0, 0.01);

    // The disk fills up after three segments: the recorder's floor ends it, with its text.
    std::atomic<int> asked{0};
    limits = {};
    limits.freeSpace = [&asked](const QString&) {
        const qint64 gib = qint64(1) << 30;
        return RecordJob::DiskSpace{++asked <= 3 ? 50 * gib : RecordJob::FloorBytes - 1, 500 * gib};
    };
    startDownload(QStringLiteral("/live.m3u8"), VideoFile::Stream::Hls, limits);
    done = result(30);
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::DiskLow);
    EXPECT_EQ(done.reason, RecordJob::lowSpaceText());
    EXPECT_NEAR(done.recordedSeconds, 3.0, 0.01);
    ASSERT_EQ(done.trackFiles.size(), 1);
    EXPECT_EQ(MediaFixture::decodeErrors(done.trackFiles.first()), QString());

    // Room above the floor for the segments but not for joining and muxing them (twice their
    // size): that counts as low too. With three times their size the recording goes on.
    std::atomic<int> times{1};
    limits.freeSpace = [this, &times](const QString&) {
        return RecordJob::DiskSpace{RecordJob::FloorBytes + times * m_bytes + 1, qint64(500) << 30};
    };
    startDownload(QStringLiteral("/live.m3u8"), VideoFile::Stream::Hls, limits);
    done = result(30);
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::DiskLow);
    EXPECT_NEAR(done.recordedSeconds, 1.0, 0.01);
    times = 3;
    startDownload(QStringLiteral("/live.m3u8"), VideoFile::Stream::Hls, limits);
    EXPECT_TRUE(waitFor([this] { return m_segments >= 3; }, 30));
    m_stop = true;
    done = result(30);
    m_stop = false;
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Stopped) << "with 3x the recording free";

    // The server goes away for good: after the outage bound the recording ends with what it has.
    limits = {};
    limits.outage = std::chrono::milliseconds(3000);
    startDownload(QStringLiteral("/live.m3u8"), VideoFile::Stream::Hls, limits);
    ASSERT_TRUE(recorded(3));
    m_nginx->stop();
    done = result(30);
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::ServerGone);
    EXPECT_TRUE(done.reason.contains(QLatin1String("did not answer"))) << done.reason.toStdString();
    EXPECT_GE(done.recordedSeconds, 3.0);
    EXPECT_EQ(done.trackFiles.size(), 1);

    // The server answers, but the playlist stops growing (without EXT-X-ENDLIST).
    ASSERT_TRUE(m_nginx->start());
    LiveHlsPlaylist stalled(m_www, QStringLiteral("stalled.m3u8"));
    ASSERT_TRUE(stalled.start());
    stalled.stop();
    startDownload(QStringLiteral("/stalled.m3u8"), VideoFile::Stream::Hls, limits);
    done = result(30);
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::ServerGone);
    EXPECT_TRUE(done.reason.contains(QLatin1String("nothing new"))) << done.reason.toStdString();
    EXPECT_NEAR(done.recordedSeconds, 3.0, 0.01);
}

// Through the download workers, as the probe starts a stream: the row shows "Live" with the
// seconds recorded, the record counts the bytes, and the user's stop (the row removed) ends the
// recording into the assembly. The record stays taken, so the player's next reload of the same
// playlist starts no second recording.
TEST_F(StreamLiveTest, RowShowsLiveSecondsAndTheUsersStopAssembles)
{
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www, 30));
    LiveHlsPlaylist live(m_www);
    ASSERT_TRUE(live.start());
    DownloadTestBed bed;
    std::promise<StreamDownload::Result> assembled;
    bed.workers->setStreamAssemblyHook(
        [&](qsizetype, const StreamDownload::Result& done) { assembled.set_value(done); });
    const qsizetype index = bed.addRecord(m_nginx->url(QStringLiteral("/live.m3u8")), QStringLiteral("1700000500"));
    bed.videoFiles.update(index, [](VideoFile& record) {
        record.state = VideoFile::State::Old;
        record.stream = VideoFile::Stream::Hls;
    });
    ASSERT_TRUE(bed.rows->insert(index, QStringLiteral("[HLS] live"), QStringLiteral("1700000500")));
    bed.workers->startStream(index, bed.record(index));
    ASSERT_TRUE(waitFor([&] { return bed.list.lastProgress(index) >= QStringLiteral("Live 0:04"); }, 30))
        << bed.list.lastProgress(index).toStdString();
    EXPECT_GT(bed.record(index).receivedBytes, 4 * 1000);
    bed.rows->cancel(index);

    std::future<StreamDownload::Result> result = assembled.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const StreamDownload::Result done = result.get();
    EXPECT_EQ(done.outcome, StreamDownload::Outcome::Done);
    EXPECT_EQ(done.ending, StreamDownload::LiveEnding::Stopped);
    ASSERT_EQ(done.trackFiles.size(), 1);
    EXPECT_EQ(MediaFixture::decodeErrors(done.trackFiles.first()), QString());
    EXPECT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.record(index).state, VideoFile::State::Old);
    const QStringList shown = bed.list.progressOf(index);
    ASSERT_FALSE(shown.isEmpty());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(shown[i] == QStringLiteral("0%") || shown[i].startsWith(QLatin1String("Live 0:")))
            << shown[i].toStdString();
        if (i > 0) {
            EXPECT_GE(shown[i], shown[i - 1]);
        }
    }
}

// A stream that is not live: percentages of its segments in the row, its bytes in the record,
// as a plain download shows its own.
TEST_F(StreamLiveTest, RowShowsPercentOfSegmentsAndTheRecordItsBytes)
{
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(m_www, 4));
    DownloadTestBed bed;
    std::promise<StreamDownload::Result> assembled;
    bed.workers->setStreamAssemblyHook(
        [&](qsizetype, const StreamDownload::Result& done) { assembled.set_value(done); });
    const qsizetype index = bed.addRecord(m_nginx->url(QStringLiteral("/vod.m3u8")), QStringLiteral("1700000600"));
    bed.videoFiles.update(index, [](VideoFile& record) { record.stream = VideoFile::Stream::Hls; });
    ASSERT_TRUE(bed.rows->insert(index, QStringLiteral("[HLS] programme"), QStringLiteral("1700000600")));
    bed.workers->startStream(index, bed.record(index));
    std::future<StreamDownload::Result> result = assembled.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const StreamDownload::Result done = result.get();
    ASSERT_EQ(done.outcome, StreamDownload::Outcome::Done) << done.reason.toStdString();
    EXPECT_EQ(bed.list.progressOf(index), (QStringList{QStringLiteral("25%"), QStringLiteral("50%"),
                                                       QStringLiteral("75%"), QStringLiteral("100%")}));
    // The record counts the segments' bytes, each once.
    ASSERT_FALSE(done.muxedFile.isEmpty());
    const QDir folder = QFileInfo(done.muxedFile).absoluteDir();
    qint64 segmentBytes = 0;
    for (const QFileInfo& segment : folder.entryInfoList({QStringLiteral("*.seg")}, QDir::Files))
        segmentBytes += segment.size();
    EXPECT_EQ(folder.entryList({QStringLiteral("*.seg")}, QDir::Files).size(), 4);
    EXPECT_EQ(bed.record(index).receivedBytes, segmentBytes);
}

TEST(StreamProgressText, PercentOfSegmentsOrLiveSeconds)
{
    const struct
    {
        StreamDownload::Progress progress;
        const char* text;
    } rows[] = {
        {{0, 0, 0, false, 0}, "0%"},
        {{1, 3, 100, false, 0}, "33%"},
        {{3, 3, 100, false, 0}, "100%"},
        {{0, 0, 0, true, 0}, "Live 0:00"},
        {{5, 0, 100, true, 59.99}, "Live 0:59"},
        {{5, 0, 100, true, 754}, "Live 12:34"},
        {{5, 0, 100, true, 3600 * 27 + 61}, "Live 27:01:01"},
        {{5, 0, 100, true, -4}, "Live 0:00"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StreamDownload::progressText(row.progress), QString::fromLatin1(row.text)) << row.text;
}

} // namespace
