// Streams that ffmpeg makes at test time, planned as a downloader would see them: every
// playlist, MPD and index is served from the files ffmpeg wrote, every planned request is cut
// from those files, and the joined tracks are checked with ffprobe (and openssl for AES-128).
#include "streams/StreamPlanBuilder.h"

#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"
#include "support/StreamFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Base = QStringLiteral("http://127.0.0.1/stream/");

struct ToolRun
{
    int exitCode = -1;
    QByteArray output;
};

ToolRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ToolRun result;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = process.readAll();
    return result;
}

class FfmpegStreamsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"ffmpeg", "ffprobe", "openssl"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                TRAWLIX_SKIP_UNLESS_CI(tool << " is not installed");
        }
        ASSERT_TRUE(m_dir.isValid());
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Eight seconds of test picture and tone, cut every two seconds on a keyframe.
    static StreamFixture::Programme programme(int startNumber = 0)
    {
        StreamFixture::Programme eight;
        eight.startNumber = startNumber;
        return eight;
    }

    // The bytes at a planned address: the file under the temporary folder.
    QByteArray fetch(const QUrl& url, const std::optional<ByteRange>& range)
    {
        const QString name = url.toString().mid(Base.size());
        EXPECT_TRUE(url.toString().startsWith(Base)) << url.toString().toStdString();
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        if (!range)
            return file.readAll();
        EXPECT_LE(range->offset + range->length, file.size()) << name.toStdString();
        file.seek(range->offset);
        return file.read(range->length);
    }

    StreamPlan plan(StreamFormat format, const QString& manifest)
    {
        StreamPlanBuilder builder(format, QUrl(Base + manifest), StreamVariantChoice::Best);
        for (int round = 0; round < 10 && !builder.finished(); ++round) {
            for (const StreamFetch& request : builder.pending())
                builder.supply(request, fetch(request.url, request.range));
        }
        EXPECT_TRUE(builder.finished());
        EXPECT_FALSE(builder.error()) << builder.error()->text.toStdString();
        return builder.plan();
    }

    QByteArray decrypt(const QByteArray& bytes, const SegmentKey& key)
    {
        if (key.method == SegmentKey::Method::None)
            return bytes;
        const QByteArray keyBytes = fetch(key.url, std::nullopt);
        EXPECT_EQ(key.iv.size(), 16);
        QFile in(path(QStringLiteral("cipher.bin")));
        EXPECT_TRUE(in.open(QIODevice::WriteOnly | QIODevice::Truncate));
        in.write(bytes);
        in.close();
        const ToolRun openssl = run(QStringLiteral("openssl"),
                                    {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-128-cbc"),
                                     QStringLiteral("-K"), QString::fromLatin1(keyBytes.toHex()), QStringLiteral("-iv"),
                                     QString::fromLatin1(key.iv.toHex()), QStringLiteral("-in"), in.fileName()});
        EXPECT_EQ(openssl.exitCode, 0) << "wrong key: the padding does not check out";
        // A wrong IV spoils only the first block: each segment is whole transport-stream packets.
        EXPECT_TRUE(openssl.output.startsWith('\x47')) << "wrong IV: no sync byte at the start";
        EXPECT_EQ(openssl.output.size() % 188, 0);
        return openssl.output;
    }

    // The track as the assembly would join it: each init section once, before its segments.
    QString join(const TrackPlan& track, const QString& name)
    {
        QFile out(path(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        int lastInit = -1;
        for (const SegmentRequest& segment : track.segments) {
            if (segment.initSection >= 0 && segment.initSection != lastInit) {
                const InitSection& init = track.initSections[segment.initSection];
                out.write(decrypt(fetch(init.url, init.range), init.key));
                lastInit = segment.initSection;
            }
            out.write(decrypt(fetch(segment.url, segment.range), segment.key));
        }
        return out.fileName();
    }

    using Probe = MediaFixture::Inspection;
    static Probe probe(const QString& file) { return MediaFixture::inspect(file); }

    QTemporaryDir m_dir;
};

TEST_F(FfmpegStreamsTest, HlsTransportStreamWithTwoVariants)
{
    ASSERT_TRUE(StreamFixture::hlsTwoVariants(path(QStringLiteral("v")), programme(), QSize(160, 120)));
    const StreamPlan plan = this->plan(StreamFormat::Hls, QStringLiteral("v/master.m3u8"));
    EXPECT_EQ(plan.variant.url.toString(), Base + QStringLiteral("v/stream_0.m3u8"));
    EXPECT_EQ(plan.variant.width, 320);
    EXPECT_FALSE(plan.live);
    ASSERT_EQ(plan.tracks.size(), 1) << "audio and video in one variant";
    EXPECT_EQ(plan.tracks[0].segments.size(), 4);
    EXPECT_NEAR(plan.duration, 8, 0.1);
    const Probe joined = probe(join(plan.tracks[0], QStringLiteral("joined.ts")));
    EXPECT_NEAR(joined.duration, 8, 2.0);
    EXPECT_EQ(joined.streams, "video 320x240\naudio\n");
    EXPECT_EQ(joined.errors, QByteArray());
}

TEST_F(FfmpegStreamsTest, HlsFragmentedMp4WithAnInitSection)
{
    ASSERT_TRUE(StreamFixture::hlsFragmented(path(QStringLiteral("f")), programme()));
    const StreamPlan plan = this->plan(StreamFormat::Hls, QStringLiteral("f/index.m3u8"));
    ASSERT_EQ(plan.tracks.size(), 1);
    const TrackPlan& track = plan.tracks[0];
    ASSERT_EQ(track.initSections.size(), 1);
    EXPECT_EQ(track.initSections[0].url.toString(), Base + QStringLiteral("f/init.mp4"));
    for (const SegmentRequest& segment : track.segments)
        EXPECT_EQ(segment.initSection, 0);
    const Probe joined = probe(join(track, QStringLiteral("joined.mp4")));
    EXPECT_NEAR(joined.duration, 8, 2.0);
    EXPECT_EQ(joined.streams, "video 320x240\naudio\n");
    EXPECT_EQ(joined.errors, QByteArray());
}

TEST_F(FfmpegStreamsTest, HlsAes128WithTheSequenceNumberAsIv)
{
    ASSERT_TRUE(StreamFixture::hlsAes128(path(QStringLiteral("e")), programme(5),
                                         QByteArray::fromHex("00112233445566778899aabbccddeeff")));
    const StreamPlan plan = this->plan(StreamFormat::Hls, QStringLiteral("e/index.m3u8"));
    ASSERT_EQ(plan.tracks.size(), 1);
    const TrackPlan& track = plan.tracks[0];
    ASSERT_FALSE(track.segments.isEmpty());
    EXPECT_EQ(track.segments[0].sequence, 5);
    EXPECT_EQ(track.segments[0].key.method, SegmentKey::Method::Aes128);
    EXPECT_EQ(track.segments[0].key.url.toString(), Base + QStringLiteral("e/key.bin"));
    // Decrypting every segment with openssl checks the key address and each IV.
    const Probe joined = probe(join(track, QStringLiteral("joined.ts")));
    EXPECT_NEAR(joined.duration, 8, 2.0);
    EXPECT_EQ(joined.streams, "video 320x240\naudio\n");
    EXPECT_EQ(joined.errors, QByteArray());
}

// A playlist without an IV in its key tag: each segment's IV is its media sequence number, and
// openssl encrypted the segments that way.
TEST_F(FfmpegStreamsTest, HlsAes128WithoutAnIvInThePlaylist)
{
    ASSERT_TRUE(StreamFixture::hlsAes128SequenceIv(path(QStringLiteral("n")), programme(300),
                                                   QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100")));
    const StreamPlan plan = this->plan(StreamFormat::Hls, QStringLiteral("n/index.m3u8"));
    ASSERT_EQ(plan.tracks.size(), 1);
    ASSERT_EQ(plan.tracks[0].segments.size(), 4);
    const Probe joined = probe(join(plan.tracks[0], QStringLiteral("joined.ts")));
    EXPECT_NEAR(joined.duration, 8, 2.0);
    EXPECT_EQ(joined.streams, "video 320x240\naudio\n");
    EXPECT_EQ(joined.errors, QByteArray());
}

TEST_F(FfmpegStreamsTest, DashTemplateWithTimelineAndSeparateAudio)
{
    ASSERT_TRUE(StreamFixture::dashTimeline(path(QStringLiteral("d")), programme()));
    const StreamPlan plan = this->plan(StreamFormat::Dash, QStringLiteral("d/manifest.mpd"));
    EXPECT_EQ(plan.variant.width, 320);
    ASSERT_EQ(plan.tracks.size(), 2);
    EXPECT_EQ(plan.tracks[0].kind, TrackPlan::Kind::Video);
    EXPECT_EQ(plan.tracks[1].kind, TrackPlan::Kind::Audio);
    EXPECT_NEAR(plan.tracks[0].duration, 8, 0.1);
    EXPECT_NEAR(plan.tracks[1].duration, 8, 0.1);
    const Probe video = probe(join(plan.tracks[0], QStringLiteral("video.mp4")));
    EXPECT_NEAR(video.duration, 8, 2.0);
    EXPECT_EQ(video.streams, "video 320x240\n");
    EXPECT_EQ(video.errors, QByteArray());
    const Probe audio = probe(join(plan.tracks[1], QStringLiteral("audio.mp4")));
    EXPECT_NEAR(audio.duration, 8, 2.0);
    EXPECT_EQ(audio.streams, "audio\n");
    EXPECT_EQ(audio.errors, QByteArray());
}

TEST_F(FfmpegStreamsTest, DashSingleFileSegmentList)
{
    ASSERT_TRUE(StreamFixture::dashSingleFile(path(QStringLiteral("s")), programme()));
    const StreamPlan plan = this->plan(StreamFormat::Dash, QStringLiteral("s/manifest.mpd"));
    ASSERT_EQ(plan.tracks.size(), 2);
    for (const TrackPlan& track : plan.tracks) {
        ASSERT_EQ(track.initSections.size(), 1);
        ASSERT_TRUE(track.initSections[0].range);
        // The ranges tile the file: init, then each segment right after the one before.
        qint64 next = track.initSections[0].range->offset + track.initSections[0].range->length;
        for (const SegmentRequest& segment : track.segments) {
            ASSERT_TRUE(segment.range);
            EXPECT_EQ(segment.range->offset, next);
            next = segment.range->offset + segment.range->length;
        }
        EXPECT_EQ(next, QFileInfo(path(QStringLiteral("s/") + track.segments[0].url.fileName())).size());
    }
    const Probe video = probe(join(plan.tracks[0], QStringLiteral("video.mp4")));
    EXPECT_NEAR(video.duration, 8, 2.0);
    EXPECT_EQ(video.errors, QByteArray());
}

TEST_F(FfmpegStreamsTest, DashSegmentBaseReadsTheSidxOfTheRealFile)
{
    ASSERT_TRUE(StreamFixture::dashSegmentBase(path(QStringLiteral("b")), programme()));
    const StreamPlan plan = this->plan(StreamFormat::Dash, QStringLiteral("b/manifest.mpd"));
    ASSERT_EQ(plan.tracks.size(), 2);
    for (const TrackPlan& track : plan.tracks) {
        ASSERT_GE(track.segments.size(), 3) << "one per two-second fragment";
        EXPECT_NEAR(track.duration, 8, 0.2);
        // The referenced sizes reach exactly to the fragment index ffmpeg puts at the end.
        const SegmentRequest& last = track.segments.last();
        QFile file(path(QStringLiteral("b/") + last.url.fileName()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const std::optional<ByteRange> mfra = StreamFixture::topLevelBox(file.readAll(), "mfra");
        ASSERT_TRUE(mfra);
        EXPECT_EQ(mfra->offset + mfra->length, file.size());
        EXPECT_EQ(last.range->offset + last.range->length, mfra->offset);
    }
    const Probe video = probe(join(plan.tracks[0], QStringLiteral("video.mp4")));
    EXPECT_NEAR(video.duration, 8, 2.0);
    EXPECT_EQ(video.streams, "video 320x240\n");
    EXPECT_EQ(video.errors, QByteArray());
    const Probe audio = probe(join(plan.tracks[1], QStringLiteral("audio.mp4")));
    EXPECT_EQ(audio.streams, "audio\n");
    EXPECT_EQ(audio.errors, QByteArray());
}

} // namespace
