#include "LibraryFixture.h"

#include "download/DownloadRows.h"
#include "library/StreamAssembly.h"
#include "library/TagStore.h"
#include "support/RecordingDownloadList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

class StreamAssemblyTest : public LibraryFixture
{
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        m_rows.setView(&m_list);
    }

    qsizetype addRecord(const QString& base)
    {
        VideoFile record;
        record.state = VideoFile::State::Old;
        record.stream = VideoFile::Stream::Dash;
        record.baseName = base;
        record.extension = QStringLiteral(".mp4");
        record.title = QStringLiteral("Page title");
        record.pageAddress = QStringLiteral("http://site.test/watch");
        const qsizetype index = m_videoFiles.append(record);
        m_rows.insert(index, record.title, base);
        return index;
    }

    // "codec_type=video" ... of the file, one per stream.
    static QString streams(const QString& path)
    {
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                     QStringLiteral("stream=codec_type"), QStringLiteral("-of"), QStringLiteral("default=nw=1"), path});
        probe.waitForFinished(30000);
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    RecordingDownloadList m_list;
    DownloadRows m_rows{m_videoFiles};
};

// Video and sound downloaded apart become one file with both, in the library, tagged; the
// stream's folder goes.
TEST_F(StreamAssemblyTest, SeparateTracksAreMuxedIntoOneLibraryFile)
{
    const QString folder = dir() + QStringLiteral("Temp/stream-abc");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString video = folder + QStringLiteral("/track0.video");
    const QString audio = folder + QStringLiteral("/track1.audio");
    ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=duration=3:size=160x90:rate=25"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            QStringLiteral("-f"), QStringLiteral("mp4"), video});
    ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=3"),
            QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-f"), QStringLiteral("mp4"), audio});
    const QString base = QStringLiteral("1700000200");
    const qsizetype index = addRecord(base);
    StreamDownload::Result result;
    result.outcome = StreamDownload::Outcome::Done;
    result.trackFiles = {video, audio};
    EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, index, result), StreamAssembly::Outcome::Registered);
    spin();

    const QString target = videos() + base + QStringLiteral(".mp4");
    const QString found = streams(target);
    EXPECT_TRUE(found.contains(QLatin1String("codec_type=video"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QLatin1String("codec_type=audio"))) << found.toStdString();
    EXPECT_EQ(TagStore::read(target, QStringLiteral("title")), QStringLiteral("Page title"));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(m_rows.contains(index));
    ASSERT_GE(m_table.rowCount(), 1);
    EXPECT_EQ(m_table.rowAt(0).path, target);

    // A file of that base already there is never replaced: the next base is taken.
    ASSERT_TRUE(QDir().mkpath(folder));
    ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=duration=3:size=160x90:rate=25"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            QStringLiteral("-f"), QStringLiteral("mpegts"), video});
    result.trackFiles = {video};
    const qint64 before = QFileInfo(target).size();
    EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, addRecord(base), result), StreamAssembly::Outcome::Registered);
    EXPECT_EQ(QFileInfo(target).size(), before);
    EXPECT_TRUE(QFileInfo::exists(videos() + QStringLiteral("1700000201.mp4")));
}

// A live recording goes in like any stream; one that ended before the stream did tells why.
TEST_F(StreamAssemblyTest, LiveRecordingThatEndedEarlySaysWhy)
{
    QStringList notices;
    m_context->notify = [&notices](const QString& text) { notices << text; };
    for (const bool early : {false, true}) {
        const QString folder = dir() + QStringLiteral("Temp/stream-live-%1").arg(early);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString video = folder + QStringLiteral("/track0.video");
        ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc=duration=2:size=160x90:rate=25"), QStringLiteral("-c:v"),
                QStringLiteral("libx264"), QStringLiteral("-f"), QStringLiteral("mpegts"), video});
        StreamDownload::Result result;
        result.outcome = StreamDownload::Outcome::Done;
        result.live = true;
        result.ending = early ? StreamDownload::LiveEnding::DiskLow : StreamDownload::LiveEnding::Stopped;
        result.reason = early ? RecordJob::lowSpaceText() : QString();
        result.trackFiles = {video};
        const QString base = early ? QStringLiteral("1700000401") : QStringLiteral("1700000400");
        EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, addRecord(base), result),
                  StreamAssembly::Outcome::Registered);
        EXPECT_TRUE(QFileInfo::exists(videos() + base + QStringLiteral(".mp4")));
    }
    EXPECT_EQ(notices, QStringList{RecordJob::lowSpaceText()});
}

// Tracks that are not media: nothing reaches the library, the row says so, the tracks stay.
TEST_F(StreamAssemblyTest, BrokenTracksReachNothing)
{
    const QString folder = dir() + QStringLiteral("Temp/stream-bad");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString video = folder + QStringLiteral("/track0.video");
    QFile file(video);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'x'));
    file.close();
    const qsizetype index = addRecord(QStringLiteral("1700000300"));
    StreamDownload::Result result;
    result.outcome = StreamDownload::Outcome::Done;
    result.trackFiles = {video};
    EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, index, result), StreamAssembly::Outcome::PlacingFailed);
    EXPECT_TRUE(QDir(videos()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(video));
    EXPECT_TRUE(m_rows.contains(index));
}

// The file the download muxed moves in as it is, under the first free base; one that is not as
// long as the programme (within a segment) stays out, where it was, with its row saying so.
TEST_F(StreamAssemblyTest, MuxedFileMovesInWhenItLastsTheProgramme)
{
    const QString folder = dir() + QStringLiteral("Temp/stream-muxed");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString muxed = folder + QStringLiteral("/muxed.mkv");
    ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=duration=4:size=160x90:rate=25"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            muxed});
    StreamDownload::Result result;
    result.outcome = StreamDownload::Outcome::Done;
    result.muxedFile = muxed;
    TrackPlan track;
    for (int i = 0; i < 4; ++i)
        track.segments.append(SegmentRequest{});
    for (SegmentRequest& segment : track.segments)
        segment.duration = 1;
    result.plan.tracks = {track};

    // Told 10 s: 6 s more than the file, more than a segment and the slack.
    result.plan.duration = 10;
    const qsizetype refused = addRecord(QStringLiteral("1700000500"));
    EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, refused, result), StreamAssembly::Outcome::PlacingFailed);
    EXPECT_TRUE(QFileInfo::exists(muxed));
    EXPECT_TRUE(QDir(videos()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_rows.contains(refused));

    // Within a segment of 4 s; the base is taken by a file that must stay as it is.
    result.plan.duration = 4.8;
    QFile taken(videos() + QStringLiteral("1700000600.mp4"));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("someone else's");
    taken.close();
    const qsizetype index = addRecord(QStringLiteral("1700000600"));
    EXPECT_EQ(StreamAssembly::run(*m_context, m_rows, index, result), StreamAssembly::Outcome::Registered);
    EXPECT_EQ(QFileInfo(taken.fileName()).size(), qint64(14));
    const QString target = videos() + QStringLiteral("1700000601.mkv");
    EXPECT_TRUE(streams(target).contains(QLatin1String("codec_type=video")));
    EXPECT_EQ(TagStore::read(target, QStringLiteral("title")), QStringLiteral("Page title"));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(m_rows.contains(index));
}

} // namespace
