// Streams that ffmpeg makes at test time, planned as a downloader would see them: every
// playlist, MPD and index is served from the files ffmpeg wrote, every planned request is cut
// from those files, and the joined tracks are checked with ffprobe (and openssl for AES-128).
#include "streams/StreamPlanBuilder.h"

#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

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
    static QStringList sources()
    {
        return {QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("testsrc=size=320x240:rate=25:duration=8"),
                QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("sine=frequency=440:duration=8")};
    }
    static QStringList codecs()
    {
        return {QStringLiteral("-c:v"),        QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
                QStringLiteral("yuv420p"),     QStringLiteral("-g"),      QStringLiteral("50"),
                QStringLiteral("-keyint_min"), QStringLiteral("50"),      QStringLiteral("-sc_threshold"),
                QStringLiteral("0"),           QStringLiteral("-c:a"),    QStringLiteral("aac")};
    }

    bool ffmpeg(const QString& output, const QStringList& arguments)
    {
        QDir().mkpath(QFileInfo(path(output)).absolutePath());
        const QStringList common{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                 QStringLiteral("-nostdin"), QStringLiteral("-y")};
        QStringList all = common + arguments;
        all << path(output);
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("ffmpeg"), all);
        const bool ok = process.waitForFinished(120000) && process.exitCode() == 0;
        EXPECT_TRUE(ok) << process.readAll().constData();
        return ok;
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

    struct Probe
    {
        double duration = 0;
        QByteArray streams; // "video 320x240", "audio" per stream, one line each
        QByteArray errors;
    };

    Probe probe(const QString& file)
    {
        Probe result;
        const ToolRun info = run(QStringLiteral("ffprobe"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                  QStringLiteral("format=duration:stream=codec_type,width,height"),
                                  QStringLiteral("-of"), QStringLiteral("csv=p=0"), file});
        for (const QByteArray& line : info.output.split('\n')) {
            const QList<QByteArray> fields = line.split(',');
            bool number = false;
            const double seconds = fields[0].toDouble(&number);
            QByteArray stream;
            if (number)
                result.duration = seconds;
            else if (fields.size() >= 3 && fields[0] == "video")
                stream = "video " + fields[1] + 'x' + fields[2] + '\n';
            else if (fields[0] == "audio")
                stream = "audio\n";
            // A transport stream lists its streams again under its program.
            if (!stream.isEmpty() && !result.streams.contains(stream))
                result.streams += stream;
        }
        result.errors =
            run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                           QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")})
                .output;
        return result;
    }

    QTemporaryDir m_dir;
};

TEST_F(FfmpegStreamsTest, HlsTransportStreamWithTwoVariants)
{
    ASSERT_TRUE(ffmpeg(QStringLiteral("v%v/index.m3u8"),
                       sources() +
                           QStringList{QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-map"),
                                       QStringLiteral("1:a"), QStringLiteral("-map"), QStringLiteral("0:v"),
                                       QStringLiteral("-map"), QStringLiteral("1:a")} +
                           codecs() +
                           QStringList{QStringLiteral("-s:v:1"), QStringLiteral("160x120"), QStringLiteral("-b:v:0"),
                                       QStringLiteral("600k"), QStringLiteral("-b:v:1"), QStringLiteral("150k"),
                                       QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"),
                                       QStringLiteral("2"), QStringLiteral("-hls_playlist_type"), QStringLiteral("vod"),
                                       QStringLiteral("-var_stream_map"), QStringLiteral("v:0,a:0 v:1,a:1"),
                                       QStringLiteral("-master_pl_name"), QStringLiteral("master.m3u8"),
                                       QStringLiteral("-hls_segment_filename"), path(QStringLiteral("v%v/seg%d.ts"))}));
    const StreamPlan plan = this->plan(StreamFormat::Hls, QStringLiteral("master.m3u8"));
    EXPECT_EQ(plan.variant.url.toString(), Base + QStringLiteral("v0/index.m3u8"));
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
    ASSERT_TRUE(ffmpeg(QStringLiteral("f/index.m3u8"),
                       sources() + codecs() +
                           QStringList{QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"),
                                       QStringLiteral("2"), QStringLiteral("-hls_playlist_type"), QStringLiteral("vod"),
                                       QStringLiteral("-hls_segment_type"), QStringLiteral("fmp4"),
                                       QStringLiteral("-hls_fmp4_init_filename"), QStringLiteral("init.mp4")}));
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
    QFile key(path(QStringLiteral("e/key.bin")));
    QDir().mkpath(path(QStringLiteral("e")));
    ASSERT_TRUE(key.open(QIODevice::WriteOnly));
    key.write(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
    key.close();
    QFile info(path(QStringLiteral("keyinfo")));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("key.bin\n" + key.fileName().toUtf8() + "\n");
    info.close();
    ASSERT_TRUE(ffmpeg(QStringLiteral("e/index.m3u8"),
                       sources() + codecs() +
                           QStringList{QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"),
                                       QStringLiteral("2"), QStringLiteral("-hls_playlist_type"), QStringLiteral("vod"),
                                       QStringLiteral("-start_number"), QStringLiteral("5"),
                                       QStringLiteral("-hls_key_info_file"), info.fileName()}));
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

// ffmpeg writes the IV into the playlist; this stream leaves it out, so each segment's IV is its
// media sequence number. openssl encrypts the segments that way.
TEST_F(FfmpegStreamsTest, HlsAes128WithoutAnIvInThePlaylist)
{
    ASSERT_TRUE(ffmpeg(QStringLiteral("n/index.m3u8"),
                       sources() + codecs() +
                           QStringList{QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"),
                                       QStringLiteral("2"), QStringLiteral("-hls_playlist_type"), QStringLiteral("vod"),
                                       QStringLiteral("-start_number"), QStringLiteral("300")}));
    const QByteArray key = QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100");
    QFile keyFile(path(QStringLiteral("n/key.bin")));
    ASSERT_TRUE(keyFile.open(QIODevice::WriteOnly));
    keyFile.write(key);
    keyFile.close();
    QFile playlist(path(QStringLiteral("n/index.m3u8")));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    QByteArray text = playlist.readAll();
    playlist.close();
    ASSERT_TRUE(text.contains("#EXT-X-MEDIA-SEQUENCE:300\n"));
    text.replace("#EXT-X-MEDIA-SEQUENCE:300\n",
                 "#EXT-X-MEDIA-SEQUENCE:300\n#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n");
    ASSERT_TRUE(playlist.open(QIODevice::WriteOnly | QIODevice::Truncate));
    playlist.write(text);
    playlist.close();
    for (int sequence = 300; sequence < 304; ++sequence) {
        const QString segment = path(QStringLiteral("n/index%1.ts").arg(sequence));
        const ToolRun openssl =
            run(QStringLiteral("openssl"),
                {QStringLiteral("enc"), QStringLiteral("-aes-128-cbc"), QStringLiteral("-K"),
                 QString::fromLatin1(key.toHex()), QStringLiteral("-iv"),
                 QStringLiteral("%1").arg(sequence, 32, 16, QLatin1Char('0')), QStringLiteral("-in"), segment,
                 QStringLiteral("-out"), segment + QStringLiteral(".enc")});
        ASSERT_EQ(openssl.exitCode, 0) << openssl.output.constData();
        QFile::remove(segment);
        QFile::rename(segment + QStringLiteral(".enc"), segment);
    }
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
    ASSERT_TRUE(
        ffmpeg(QStringLiteral("d/manifest.mpd"),
               sources() + codecs() +
                   QStringList{QStringLiteral("-f"), QStringLiteral("dash"), QStringLiteral("-seg_duration"),
                               QStringLiteral("2"), QStringLiteral("-use_template"), QStringLiteral("1"),
                               QStringLiteral("-use_timeline"), QStringLiteral("1"), QStringLiteral("-adaptation_sets"),
                               QStringLiteral("id=0,streams=v id=1,streams=a")}));
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
    ASSERT_TRUE(
        ffmpeg(QStringLiteral("s/manifest.mpd"),
               sources() + codecs() +
                   QStringList{QStringLiteral("-f"), QStringLiteral("dash"), QStringLiteral("-seg_duration"),
                               QStringLiteral("2"), QStringLiteral("-single_file"), QStringLiteral("1"),
                               QStringLiteral("-adaptation_sets"), QStringLiteral("id=0,streams=v id=1,streams=a")}));
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

// Finds a top-level box of an MP4 file: its offset and size.
std::optional<ByteRange> topLevelBox(const QByteArray& file, const char* type)
{
    qint64 at = 0;
    while (at + 8 <= file.size()) {
        const qint64 size = qint64(quint8(file[at])) << 24 | qint64(quint8(file[at + 1])) << 16 |
                            qint64(quint8(file[at + 2])) << 8 | qint64(quint8(file[at + 3]));
        if (size < 8)
            return std::nullopt;
        if (file.mid(at + 4, 4) == type)
            return ByteRange{at, size};
        at += size;
    }
    return std::nullopt;
}

TEST_F(FfmpegStreamsTest, DashSegmentBaseReadsTheSidxOfTheRealFile)
{
    struct Track
    {
        QString name;
        QStringList options;
    };
    const Track tracks[] = {
        {QStringLiteral("b/video.mp4"), {QStringLiteral("-an")}},
        {QStringLiteral("b/audio.mp4"), {QStringLiteral("-vn")}},
    };
    QByteArray sets;
    for (const Track& track : tracks) {
        ASSERT_TRUE(ffmpeg(track.name, sources() + codecs() + track.options +
                                           QStringList{QStringLiteral("-movflags"), QStringLiteral("+dash+global_sidx"),
                                                       QStringLiteral("-frag_duration"), QStringLiteral("2000000")}));
        QFile file(path(track.name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const std::optional<ByteRange> sidx = topLevelBox(bytes, "sidx");
        ASSERT_TRUE(sidx) << "ffmpeg wrote no global sidx";
        const bool video = track.options[0] == QLatin1String("-an");
        sets += "<AdaptationSet mimeType=\"" + QByteArray(video ? "video/mp4" : "audio/mp4") +
                "\"><Representation id=\"" + QByteArray(video ? "v" : "a") + "\" bandwidth=\"1\"" +
                (video ? " width=\"320\" height=\"240\"" : "") + "><BaseURL>" +
                QFileInfo(track.name).fileName().toUtf8() + "</BaseURL><SegmentBase indexRange=\"" +
                QByteArray::number(sidx->offset) + '-' + QByteArray::number(sidx->last()) +
                "\"><Initialization range=\"0-" + QByteArray::number(sidx->offset - 1) +
                "\"/></SegmentBase></Representation></AdaptationSet>\n";
    }
    QFile mpd(path(QStringLiteral("b/manifest.mpd")));
    ASSERT_TRUE(mpd.open(QIODevice::WriteOnly));
    mpd.write("<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\" "
              "mediaPresentationDuration=\"PT8S\"><Period>\n" +
              sets + "</Period></MPD>\n");
    mpd.close();

    const StreamPlan plan = this->plan(StreamFormat::Dash, QStringLiteral("b/manifest.mpd"));
    ASSERT_EQ(plan.tracks.size(), 2);
    for (const TrackPlan& track : plan.tracks) {
        ASSERT_GE(track.segments.size(), 3) << "one per two-second fragment";
        EXPECT_NEAR(track.duration, 8, 0.2);
        // The referenced sizes reach exactly to the fragment index ffmpeg puts at the end.
        const SegmentRequest& last = track.segments.last();
        QFile file(path(QStringLiteral("b/") + last.url.fileName()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const std::optional<ByteRange> mfra = topLevelBox(file.readAll(), "mfra");
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
