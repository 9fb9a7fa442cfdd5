// Streams made by ffmpeg, served by nginx, downloaded through the stream downloader into one
// muxed file: the right variant, every segment, AES-128 undone, a failed segment keeping the rest
// for the next run.
#include "download/StreamDownload.h"
#include "download/StreamFetcher.h"
#include "tools/ToolRunner.h"

#include "support/LiveHlsPlaylist.h"
#include "support/MediaFixture.h"
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"
#include "support/StreamFixture.h"
#include "support/TestSite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <mutex>

namespace {

// nginx's stock types lack the playlist's.
const QString kStreamTypes = QStringLiteral("types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; }\n");

// A 6 s programme with sound, in 2 s segments.
StreamFixture::Programme sixSeconds()
{
    return {6, 2, QSize(640, 360), 0};
}

class StreamDownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        m_www = m_site.www();
        if (!m_site.start())
            TRAWLIX_SKIP_UNLESS_CI("nginx could not start: " << m_site.error().toStdString());
    }

    // progress: each report's (done, total) as the handler noted it; the report whose count is
    // slowReport dawdles before it is noted, as a handler held up by a busy window would.
    StreamDownload::Result download(const QString& path,
                                    VideoFile::Stream stream = VideoFile::Stream::Hls,
                                    QList<std::pair<int, int>>* progress = nullptr,
                                    int slowReport = 0)
    {
        VideoFile record = streamRecord(m_site.url(path), stream);
        record.userAgent = QStringLiteral("TestBrowser/1.0");
        StreamDownload downloader(record, work());
        DownloadTimeouts timeouts;
        timeouts.downloadConnect = std::chrono::milliseconds(3000);
        timeouts.downloadReceive = std::chrono::milliseconds(3000);
        downloader.setTimeouts(timeouts);
        std::mutex mutex;
        return downloader.run([&](const StreamDownload::Progress& now) {
            if (now.done == slowReport)
                QThread::msleep(300);
            std::lock_guard lock(mutex);
            if (progress)
                progress->append({now.done, now.total});
            return true;
        });
    }

    // The record of a stream the browser played from url.
    static VideoFile streamRecord(const QString& url, VideoFile::Stream stream = VideoFile::Stream::Hls)
    {
        VideoFile record;
        record.url = url;
        record.stream = stream;
        return record;
    }

    QString work() const { return m_dir.filePath(QStringLiteral("work")); }

    // Waits (10 s at most) until the ffmpeg that reads the first track's FIFO makes done(pid)
    // true; whether it did.
    bool untilFfmpeg(const std::function<bool(qint64 pid)>& done) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            const std::optional<qint64> ffmpeg = ProcessStatus::holderOf(work() + QStringLiteral("/input0.fifo"));
            if (ffmpeg && done(*ffmpeg))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    QTemporaryDir m_dir;
    TestSite m_site{m_dir.filePath(QStringLiteral("site"))};
    QString m_www;
};

TEST_F(StreamDownloadTest, BestVariantOfTwoIsDownloadedWhole)
{
    ASSERT_TRUE(StreamFixture::hlsTwoVariants(m_www + QStringLiteral("/hls"), sixSeconds(), QSize(320, 180)));
    QList<std::pair<int, int>> progress;
    const StreamDownload::Result result =
        download(QStringLiteral("/hls/master.m3u8"), VideoFile::Stream::Hls, &progress);
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_TRUE(result.trackFiles.isEmpty());
    EXPECT_TRUE(result.muxedFile.endsWith(QLatin1String(".mp4"))) << result.muxedFile.toStdString();
    const MediaFixture::Inspection track = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(track.streams, "video 640x360\naudio\n");
    EXPECT_NEAR(track.duration, 6.0, 2.0);
    EXPECT_EQ(track.errors, QByteArray());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.size(), 3);
    EXPECT_EQ(progress.last(), std::make_pair(3, 3));
}

// The segments come in on four connections at once, but the reports keep the order of their
// counts even when the first is slow to arrive: a row never steps back or ends short of 100%.
TEST_F(StreamDownloadTest, ReportsArriveInTheOrderOfTheirCounts)
{
    ASSERT_TRUE(StreamFixture::hlsTwoVariants(m_www + QStringLiteral("/hls"), sixSeconds(), QSize(320, 180)));
    QList<std::pair<int, int>> progress;
    const StreamDownload::Result result =
        download(QStringLiteral("/hls/master.m3u8"), VideoFile::Stream::Hls, &progress, 1);
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_EQ(progress, (QList<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
}

// No IV in the key tag: the media sequence number is the IV, as ffmpeg writes it.
TEST_F(StreamDownloadTest, Aes128SegmentsAreDecrypted)
{
    const QString folder = m_www + QStringLiteral("/aes");
    ASSERT_TRUE(
        StreamFixture::hlsAes128(folder, sixSeconds(), QByteArray::fromHex("000102030405060708090a0b0c0d0e0f")));
    QFile playlist(folder + QStringLiteral("/index.m3u8"));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    ASSERT_TRUE(playlist.readAll().contains("METHOD=AES-128"));

    const StreamDownload::Result result = download(QStringLiteral("/aes/index.m3u8"));
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    const MediaFixture::Inspection track = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(track.errors, QByteArray());
    EXPECT_NEAR(track.duration, 6.0, 2.0);
}

// A segment the server no longer has fails the stream; the segments fetched are kept, and the
// next run fetches only what is missing.
TEST_F(StreamDownloadTest, FailedSegmentKeepsTheRestForTheRetry)
{
    // The last segment is the one that fails: the others were taken before it, and a segment
    // once taken is fetched to its end, so exactly those two are there to keep. (A failure stops
    // the segments not yet started; which ones those are depends on the threads' timing.)
    const QString folder = m_www + QStringLiteral("/gone");
    ASSERT_TRUE(StreamFixture::hls(folder, sixSeconds()));
    const QString last = folder + QStringLiteral("/index2.ts");
    ASSERT_TRUE(QFile::rename(last, last + QStringLiteral(".away")));

    StreamDownload::Result result = download(QStringLiteral("/gone/index.m3u8"));
    EXPECT_EQ(result.outcome, StreamDownload::Outcome::Failed);
    EXPECT_EQ(result.reason, QStringLiteral("Conn err"));
    EXPECT_TRUE(result.muxedFile.isEmpty());
    const QStringList kept = QDir(work()).entryList({QStringLiteral("*.seg")});
    EXPECT_EQ(kept, (QStringList{QStringLiteral("t0-s0.seg"), QStringLiteral("t0-s1.seg")}));
    // The mux that ran beside the download left nothing: no partial file, no FIFO.
    EXPECT_EQ(QDir(work()).entryList(QDir::Files | QDir::System), kept);

    // The others gone from the server too: only the restored one can be fetched now.
    ASSERT_TRUE(QFile::rename(last + QStringLiteral(".away"), last));
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/index0.ts")));
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/index1.ts")));
    QList<std::pair<int, int>> progress;
    result = download(QStringLiteral("/gone/index.m3u8"), VideoFile::Stream::Hls, &progress);
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    const MediaFixture::Inspection track = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(track.errors, QByteArray());
    EXPECT_NEAR(track.duration, 6.0, 2.0);
}

TEST_F(StreamDownloadTest, ProtectedStreamDownloadsNothing)
{
    ASSERT_TRUE(
        m_site.write(QStringLiteral("drm/index.m3u8"),
                     "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                     "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://key\",KEYFORMAT=\"com.apple.streamingkeydelivery\"\n"
                     "#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n"));
    ASSERT_TRUE(m_site.write(QStringLiteral("drm/a.ts"), QByteArray(1000, 'x')));
    const StreamDownload::Result result = download(QStringLiteral("/drm/index.m3u8"));
    EXPECT_EQ(result.outcome, StreamDownload::Outcome::Protected);
    EXPECT_EQ(result.reason, QStringLiteral("Protected"));
    EXPECT_FALSE(QDir(work()).exists());
}

TEST_F(StreamDownloadTest, MalformedManifestAndUnreachableServer)
{
    ASSERT_TRUE(m_site.write(QStringLiteral("bad.m3u8"), "not a playlist\n"));
    StreamDownload::Result result = download(QStringLiteral("/bad.m3u8"));
    EXPECT_EQ(result.outcome, StreamDownload::Outcome::Failed);
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_FALSE(QDir(work()).exists());

    result = download(QStringLiteral("/missing.m3u8"));
    EXPECT_EQ(result.outcome, StreamDownload::Outcome::Failed);
    EXPECT_EQ(result.reason, QStringLiteral("Conn err"));
}

// DASH with audio and video apart: two tracks, each led by its init section, each fed to ffmpeg
// through a FIFO of its own while they download, into one file with both. Only the segments and
// that file are left in the folder.
TEST_F(StreamDownloadTest, DashTracksAreMuxedThroughTwoFifos)
{
    ASSERT_TRUE(StreamFixture::dashTimeline(m_www + QStringLiteral("/dash"), sixSeconds()));
    const StreamDownload::Result result = download(QStringLiteral("/dash/manifest.mpd"), VideoFile::Stream::Dash);
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    ASSERT_EQ(result.plan.tracks.size(), 2);
    const MediaFixture::Inspection muxed = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(muxed.streams, QByteArray("video 640x360\naudio\n"));
    EXPECT_EQ(muxed.errors, QByteArray());
    EXPECT_NEAR(muxed.duration, 6.0, 2.0);
    QStringList left = QDir(work()).entryList(QDir::Files | QDir::System);
    EXPECT_TRUE(left.removeOne(QStringLiteral("muxed.mp4")));
    EXPECT_FALSE(left.isEmpty());
    for (const QString& name : left)
        EXPECT_TRUE(name.endsWith(QLatin1String(".seg"))) << name.toStdString();
}

// The mux runs while the segments download: held at its first segments, the download finds
// ffmpeg already reading the track's FIFO, and the muxed file is whole at the end.
TEST_F(StreamDownloadTest, MuxReadsWhileTheSegmentsDownload)
{
    ASSERT_TRUE(StreamFixture::hls(m_www + QStringLiteral("/during"), {8, 1, QSize(320, 180), 0}));
    StreamDownload downloader(streamRecord(m_site.url(QStringLiteral("/during/index.m3u8"))), work());
    bool waited = false;
    bool reading = false;
    int doneWhenRead = -1;
    std::mutex mutex;
    const StreamDownload::Result result = downloader.run([&](const StreamDownload::Progress& now) {
        std::lock_guard lock(mutex);
        if (waited)
            return true;
        waited = true;
        // ffmpeg has read at least a segment's bytes from its FIFO (what it reads besides is a
        // few bytes of its own), while most of the programme is still to come.
        qint64 segmentBytes = 0;
        for (const QFileInfo& segment : QDir(work()).entryInfoList({QStringLiteral("*.seg")}, QDir::Files))
            segmentBytes = segmentBytes ? qMin(segmentBytes, segment.size()) : segment.size();
        reading =
            segmentBytes > 0 && untilFfmpeg([&](qint64 pid) { return ProcessStatus::readBytes(pid) >= segmentBytes; });
        doneWhenRead = now.done;
        return true;
    });
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_TRUE(reading);
    EXPECT_LT(doneWhenRead, 8);
    const MediaFixture::Inspection muxed = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(muxed.errors, QByteArray());
    EXPECT_NEAR(muxed.duration, 8.0, 1.5);
}

// ffmpeg killed while it reads the first segments: the download goes on, and the mux runs again
// from the segment files once they are all there, into the same container.
TEST_F(StreamDownloadTest, FfmpegDyingMidDownloadIsMuxedAgainFromTheSegments)
{
    ASSERT_TRUE(StreamFixture::hls(m_www + QStringLiteral("/died"), {8, 1, QSize(320, 180), 0}));
    StreamDownload downloader(streamRecord(m_site.url(QStringLiteral("/died/index.m3u8"))), work());
    bool waited = false;
    bool killed = false;
    std::mutex mutex;
    const StreamDownload::Result result = downloader.run([&](const StreamDownload::Progress&) {
        std::lock_guard lock(mutex);
        if (waited)
            return true;
        waited = true;
        killed = untilFfmpeg([](qint64 pid) { return ::kill(pid_t(pid), SIGKILL) == 0; });
        return true;
    });
    EXPECT_TRUE(killed);
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_TRUE(result.muxedFile.endsWith(QLatin1String("/muxed.mp4"))) << result.muxedFile.toStdString();
    const MediaFixture::Inspection muxed = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(muxed.streams, QByteArray("video 320x180\naudio\n"));
    EXPECT_EQ(muxed.errors, QByteArray());
    EXPECT_NEAR(muxed.duration, 8.0, 1.5);
}

// Stopped (the row removed) after the first segment, while ffmpeg waits for the next: ffmpeg
// ends, nothing muxed is left, and the segments on disk stay for a later run.
TEST_F(StreamDownloadTest, StopWhileMuxingKeepsOnlyTheSegments)
{
    ASSERT_TRUE(StreamFixture::hls(m_www + QStringLiteral("/stop"), {8, 1, QSize(320, 180), 0}));
    StreamDownload downloader(streamRecord(m_site.url(QStringLiteral("/stop/index.m3u8"))), work());
    const StreamDownload::Result result =
        downloader.run([](const StreamDownload::Progress& now) { return now.done < 2; });
    EXPECT_EQ(result.outcome, StreamDownload::Outcome::Stopped);
    EXPECT_TRUE(result.muxedFile.isEmpty());
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    const QStringList left = QDir(work()).entryList(QDir::Files | QDir::System);
    EXPECT_FALSE(left.isEmpty());
    for (const QString& name : left)
        EXPECT_TRUE(name.endsWith(QLatin1String(".seg"))) << name.toStdString();
}

// Codecs MP4 has no place for, which the playlist does not name (PCM sound in a Matroska
// segment): the mux into MP4 that ran beside the download fails, and the Matroska one from the
// segment files makes the file.
TEST_F(StreamDownloadTest, Mp4RefusedThenMatroskaFromTheSegments)
{
    ASSERT_TRUE(QDir().mkpath(m_www + QStringLiteral("/pcm")));
    ASSERT_TRUE(MediaFixture::make(m_www + QStringLiteral("/pcm/a.mkv"),
                                   MediaFixture::patternAndTone(2, QStringLiteral("320x180")) +
                                       QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                                   QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}));
    ASSERT_TRUE(m_site.write(QStringLiteral("pcm/index.m3u8"),
                             "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.mkv\n#EXT-X-ENDLIST\n"));
    const StreamDownload::Result result = download(QStringLiteral("/pcm/index.m3u8"));
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_TRUE(result.muxedFile.endsWith(QLatin1String("/muxed.mkv"))) << result.muxedFile.toStdString();
    const MediaFixture::Inspection muxed = MediaFixture::inspect(result.muxedFile);
    EXPECT_EQ(muxed.streams, QByteArray("video 320x180\naudio\n"));
    EXPECT_EQ(muxed.errors, QByteArray());
    EXPECT_FALSE(QFileInfo::exists(work() + QStringLiteral("/muxed.mp4")));
}

// Each segment thread keeps its connection: twelve segments over at most kParallel connections
// (and the playlist over one more), as the server's log tells.
TEST_F(StreamDownloadTest, SegmentsRideKeptConnections)
{
    const QString folder = m_www + QStringLiteral("/kept");
    QDir().mkpath(folder);
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(folder, 12));
    NginxServer logged(m_www);
    const QString log = m_dir.filePath(QStringLiteral("kept.log"));
    logged.setHttpDirectives(QStringLiteral("log_format kept '$connection $connection_requests $uri';\n"));
    logged.setServerDirectives(kStreamTypes + QStringLiteral("access_log %1 kept;\n").arg(log));
    ASSERT_TRUE(logged.start()) << logged.error().toStdString();

    StreamDownload downloader(streamRecord(logged.url(QStringLiteral("/kept/vod.m3u8"))), work());
    const StreamDownload::Result result = downloader.run();
    ASSERT_EQ(result.outcome, StreamDownload::Outcome::Done) << result.reason.toStdString();
    EXPECT_EQ(MediaFixture::decodeErrors(result.muxedFile), QString());

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QSet<QByteArray> segmentConnections;
    int segments = 0;
    int reused = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3 || !fields.at(2).endsWith(".ts"))
            continue;
        ++segments;
        segmentConnections.insert(fields.at(0));
        reused += fields.at(1).toInt() > 1 ? 1 : 0;
    }
    EXPECT_EQ(segments, 12);
    EXPECT_LE(segmentConnections.size(), StreamDownload::kParallel);
    EXPECT_GE(reused, 12 - StreamDownload::kParallel);
}

TEST(StreamDecryption, Aes128AgainstTheOpensslTool)
{
    const QByteArray key = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
    const QByteArray iv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    for (const qsizetype size : {qsizetype(0), qsizetype(15), qsizetype(16), qsizetype(1000)}) {
        SCOPED_TRACE(size);
        QByteArray plain(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            plain[i] = char(i * 7);
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("enc"), QStringLiteral("-aes-128-cbc"), QStringLiteral("-K"),
                       QString::fromLatin1(key.toHex()), QStringLiteral("-iv"), QString::fromLatin1(iv.toHex())});
        ASSERT_TRUE(openssl.waitForStarted());
        openssl.write(plain);
        openssl.closeWriteChannel();
        ASSERT_TRUE(openssl.waitForFinished());
        const QByteArray cipher = openssl.readAllStandardOutput();
        ASSERT_EQ(cipher.size() % 16, 0);
        EXPECT_EQ(StreamFetcher::decryptAes128(cipher, key, iv), std::optional<QByteArray>(plain));
        // Another IV changes the first block only; the padding still checks.
        QByteArray otherIv = iv;
        otherIv[0] = char(otherIv[0] ^ 1);
        const std::optional<QByteArray> shifted = StreamFetcher::decryptAes128(cipher, key, otherIv);
        if (size >= 16) {
            ASSERT_TRUE(shifted.has_value());
            EXPECT_NE(*shifted, plain);
            EXPECT_EQ(shifted->mid(16), plain.mid(16));
        }
        // Not whole blocks, or a key or IV of the wrong size: refused, not read past.
        EXPECT_FALSE(StreamFetcher::decryptAes128(cipher.chopped(1), key, iv).has_value());
        EXPECT_FALSE(StreamFetcher::decryptAes128(cipher, key.left(15), iv).has_value());
        EXPECT_FALSE(StreamFetcher::decryptAes128(cipher, key, iv + 'x').has_value());
    }
    EXPECT_FALSE(StreamFetcher::decryptAes128({}, key, iv).has_value());
}

} // namespace
