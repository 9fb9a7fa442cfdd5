// The mux of segment files through FIFOs with a real ffmpeg: a mux that waits for segments still
// to come, an ffmpeg that dies in the middle or never opens an input (its feeds must not hang),
// a stop while it runs; none leaves a partial file or a FIFO, and the segments serve a retry.
#include "download/StreamMux.h"

#include "support/MediaFixture.h"
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"
#include "support/StreamFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <thread>

namespace {

// Far longer than any of these muxes takes, far shorter than a hang.
constexpr qint64 kBoundMs = 10000;

class StreamMuxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        m_segments = m_dir.filePath(QStringLiteral("dash"));
        ASSERT_TRUE(StreamFixture::dashTimeline(m_segments, {6, 2, QSize(320, 180), 0}));
        m_work = m_dir.filePath(QStringLiteral("work"));
        ASSERT_TRUE(QDir().mkpath(m_work));
    }

    // The DASH programme's two tracks as the downloader orders them: init section, then chunks.
    QList<QStringList> inputs() const
    {
        QList<QStringList> tracks;
        for (int t = 0; t < 2; ++t) {
            QStringList files{m_segments + QStringLiteral("/init-stream%1.m4s").arg(t)};
            for (int i = 1; i <= 3; ++i)
                files << m_segments + QStringLiteral("/chunk-stream%1-%2.m4s").arg(t).arg(i, 5, 10, QLatin1Char('0'));
            for (const QString& file : files)
                EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
            tracks << files;
        }
        return tracks;
    }

    static void arriveAll(StreamMux& mux, const QList<QStringList>& tracks)
    {
        for (const QStringList& files : tracks) {
            for (const QString& file : files)
                mux.arrived(file);
        }
    }

    // The DASH programme muxed whole: both tracks, no decode error, its six seconds.
    static void expectWholeProgramme(const QString& file)
    {
        const MediaFixture::Inspection muxed = MediaFixture::inspect(file);
        EXPECT_EQ(muxed.streams, QByteArray("video 320x180\naudio\n"));
        EXPECT_EQ(muxed.errors, QByteArray());
        EXPECT_NEAR(muxed.duration, 6.0, 1.0);
    }

    QStringList workFiles() const { return QDir(m_work).entryList(QDir::Files | QDir::System); }

    static std::optional<pid_t> waitForReader(const QString& fifo)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kBoundMs) {
            if (const std::optional<qint64> pid = ProcessStatus::holderOf(fifo))
                return pid_t(*pid);
            QThread::msleep(20);
        }
        return std::nullopt;
    }

    QTemporaryDir m_dir;
    QString m_segments;
    QString m_work;
};

// ffmpeg killed while it waits for segments still downloading: the feeds let go (the one
// waiting for a segment, and the one whose FIFO ffmpeg had not opened yet), nothing is left but
// the segments, and a retry from them makes the whole file.
TEST_F(StreamMuxTest, FfmpegDyingMidFeedReleasesTheFeedsAndTheRetryWorks)
{
    const QList<QStringList> tracks = inputs();
    {
        StreamMux mux(m_work, tracks, QStringLiteral(".mp4"));
        ASSERT_TRUE(mux.start());
        mux.arrived(tracks.at(0).at(0));
        mux.arrived(tracks.at(0).at(1));
        const std::optional<pid_t> ffmpeg = waitForReader(m_work + QStringLiteral("/input0.fifo"));
        ASSERT_TRUE(ffmpeg.has_value());
        ASSERT_EQ(::kill(*ffmpeg, SIGKILL), 0);
        QElapsedTimer timer;
        timer.start();
        const StreamMux::Result result = mux.finish();
        EXPECT_LT(timer.elapsed(), kBoundMs);
        EXPECT_EQ(result.outcome, StreamMux::Outcome::Refused);
        EXPECT_TRUE(result.file.isEmpty());
        EXPECT_FALSE(result.why.isEmpty());
    }
    EXPECT_EQ(workFiles(), QStringList());
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);

    StreamMux retry(m_work, tracks, QStringLiteral(".mp4"));
    arriveAll(retry, tracks);
    ASSERT_TRUE(retry.start());
    const StreamMux::Result result = retry.finish();
    ASSERT_EQ(result.outcome, StreamMux::Outcome::Muxed) << result.why.toStdString();
    EXPECT_EQ(result.file, m_work + QStringLiteral("/muxed.mp4"));
    expectWholeProgramme(result.file);
    EXPECT_EQ(workFiles(), QStringList{QStringLiteral("muxed.mp4")});
}

// An input ffmpeg cannot read ends it before it opens the second FIFO: the second feed, still
// waiting for its reader, is released too, and ffmpeg's complaint is the reason.
TEST_F(StreamMuxTest, FfmpegThatNeverOpensAnInputReleasesItsFeed)
{
    QList<QStringList> tracks = inputs();
    const QString garbage = m_dir.filePath(QStringLiteral("garbage.seg"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64 * 1024, 'x'));
    file.close();
    tracks[0] = QStringList{garbage};
    StreamMux mux(m_work, tracks, QStringLiteral(".mp4"));
    arriveAll(mux, tracks);
    ASSERT_TRUE(mux.start());
    QElapsedTimer timer;
    timer.start();
    const StreamMux::Result result = mux.finish();
    EXPECT_LT(timer.elapsed(), kBoundMs);
    EXPECT_EQ(result.outcome, StreamMux::Outcome::Refused);
    EXPECT_TRUE(result.why.contains(QLatin1String("status"))) << result.why.toStdString();
    EXPECT_EQ(workFiles(), QStringList());
}

// A stop while ffmpeg waits for segments: ffmpeg's process group is ended, its begun file goes, and
// the mux says it was abandoned, not refused.
TEST_F(StreamMuxTest, StopWhileMuxingEndsFfmpegAndLeavesNothing)
{
    const QList<QStringList> tracks = inputs();
    StreamMux mux(m_work, tracks, QStringLiteral(".mp4"));
    ASSERT_TRUE(mux.start());
    // All of the pictures and part of the sound: ffmpeg has begun its file when the stop comes.
    for (const QString& file : tracks.at(0))
        mux.arrived(file);
    mux.arrived(tracks.at(1).at(0));
    mux.arrived(tracks.at(1).at(1));
    QElapsedTimer begun;
    begun.start();
    while (!QFileInfo::exists(m_work + QStringLiteral("/muxed.mp4")) && begun.elapsed() < kBoundMs)
        QThread::msleep(20);
    ASSERT_TRUE(QFileInfo::exists(m_work + QStringLiteral("/muxed.mp4"))) << "ffmpeg began no file";
    const std::atomic<bool> stop{true};
    QElapsedTimer timer;
    timer.start();
    const StreamMux::Result result = mux.finish(&stop);
    EXPECT_LT(timer.elapsed(), kBoundMs);
    EXPECT_EQ(result.outcome, StreamMux::Outcome::Abandoned);
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    EXPECT_EQ(workFiles(), QStringList());
    for (const QStringList& files : tracks) {
        for (const QString& segment : files)
            EXPECT_TRUE(QFileInfo::exists(segment));
    }
}

// Segments that arrive one by one, long after ffmpeg started, the tracks in turn: the mux
// follows them and its file is whole.
TEST_F(StreamMuxTest, SegmentsArrivingWhileFfmpegRunsMakeTheWholeFile)
{
    const QList<QStringList> tracks = inputs();
    StreamMux mux(m_work, tracks, QStringLiteral(".mkv"));
    ASSERT_TRUE(mux.start());
    for (int i = 0; i < tracks.at(0).size(); ++i) {
        QThread::msleep(50);
        mux.arrived(tracks.at(0).at(i));
        mux.arrived(tracks.at(1).at(i));
    }
    const StreamMux::Result result = mux.finish();
    ASSERT_EQ(result.outcome, StreamMux::Outcome::Muxed) << result.why.toStdString();
    EXPECT_EQ(result.file, m_work + QStringLiteral("/muxed.mkv"));
    expectWholeProgramme(result.file);
}

// A track that cannot be fed whole (a segment file gone) ends ffmpeg at once, though it still
// waits for the other track's segments: the mux is refused, not left waiting for a download.
TEST_F(StreamMuxTest, ATrackThatCannotBeFedEndsFfmpegAtOnce)
{
    QList<QStringList> tracks = inputs();
    tracks[0][2] = m_dir.filePath(QStringLiteral("gone.m4s"));
    StreamMux mux(m_work, tracks, QStringLiteral(".mp4"));
    ASSERT_TRUE(mux.start());
    for (const QString& file : tracks.at(0))
        mux.arrived(file);
    mux.arrived(tracks.at(1).at(0));
    // A guard against the hang this test is about: the stop ends a mux that would wait for ever.
    std::atomic<bool> stop{false};
    std::thread guard([&stop] {
        for (int waited = 0; waited < 3 * kBoundMs && !stop; waited += 50)
            QThread::msleep(50);
        stop = true;
    });
    QElapsedTimer timer;
    timer.start();
    const StreamMux::Result result = mux.finish(&stop);
    const qint64 took = timer.elapsed();
    stop = true;
    guard.join();
    EXPECT_LT(took, kBoundMs);
    EXPECT_EQ(result.outcome, StreamMux::Outcome::Refused);
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    EXPECT_EQ(workFiles(), QStringList());
}

// A folder whose file system takes no FIFO (here a name the FIFO cannot take): the FIFOs go into
// a private temporary folder and the mux is whole all the same.
TEST_F(StreamMuxTest, AFolderWithoutFifosMuxesThroughAPrivateFolder)
{
    const QString blocked = m_work + QStringLiteral("/input0.fifo");
    ASSERT_TRUE(QDir().mkpath(blocked));
    QFile inside(blocked + QStringLiteral("/keep"));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();
    const QList<QStringList> tracks = inputs();
    StreamMux mux(m_work, tracks, QStringLiteral(".mp4"));
    arriveAll(mux, tracks);
    ASSERT_TRUE(mux.start());
    const StreamMux::Result result = mux.finish();
    ASSERT_EQ(result.outcome, StreamMux::Outcome::Muxed) << result.why.toStdString();
    expectWholeProgramme(result.file);
    EXPECT_EQ(workFiles(), QStringList{QStringLiteral("muxed.mp4")});
}

TEST(StreamMuxChoices, ContainerAndMuxArguments)
{
    StreamPlan plan;
    plan.variant.codecs = QStringLiteral("avc1.64001f,mp4a.40.2");
    EXPECT_EQ(StreamMux::containerFor(plan), QStringLiteral(".mp4"));
    plan.variant.codecs = QStringLiteral("vp09.00.10.08");
    EXPECT_EQ(StreamMux::containerFor(plan), QStringLiteral(".mp4"));
    plan.audio = AudioRendition{};
    plan.audio->codecs = QStringLiteral(" Vorbis");
    EXPECT_EQ(StreamMux::containerFor(plan), QStringLiteral(".mkv"));

    EXPECT_EQ(StreamMux::muxArguments({QStringLiteral("v")}),
              (QStringList{QStringLiteral("-map"), QStringLiteral("0"), QStringLiteral("-c"), QStringLiteral("copy")}));
    EXPECT_EQ(
        StreamMux::muxArguments({QStringLiteral("v"), QStringLiteral("a")}),
        (QStringList{QStringLiteral("-i"), QStringLiteral("a"), QStringLiteral("-map"), QStringLiteral("0:v"),
                     QStringLiteral("-map"), QStringLiteral("1:a"), QStringLiteral("-c"), QStringLiteral("copy")}));
}

} // namespace
