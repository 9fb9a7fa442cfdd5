#include "support/StreamFixture.h"

#include "support/MediaFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace StreamFixture {
namespace {

QStringList sources(const Programme& programme)
{
    return {QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("testsrc=duration=%1:size=%2x%3:rate=25")
                .arg(programme.seconds)
                .arg(programme.size.width())
                .arg(programme.size.height()),
            QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:duration=%1").arg(programme.seconds)};
}

// A keyframe at every segment boundary and nowhere else decided by the picture.
QStringList codecs(const Programme& programme)
{
    const QString gop = QString::number(programme.segmentSeconds * 25);
    return {QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-g"),
            gop,
            QStringLiteral("-keyint_min"),
            gop,
            QStringLiteral("-sc_threshold"),
            QStringLiteral("0"),
            QStringLiteral("-c:a"),
            QStringLiteral("aac")};
}

QStringList hlsOptions(const Programme& programme)
{
    return {QStringLiteral("-f"),
            QStringLiteral("hls"),
            QStringLiteral("-hls_time"),
            QString::number(programme.segmentSeconds),
            QStringLiteral("-hls_playlist_type"),
            QStringLiteral("vod"),
            QStringLiteral("-start_number"),
            QString::number(programme.startNumber)};
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool opensslEncrypt(const QString& file, const QByteArray& key, qint64 sequence)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("enc"), QStringLiteral("-aes-128-cbc"), QStringLiteral("-K"),
                   QString::fromLatin1(key.toHex()), QStringLiteral("-iv"),
                   QStringLiteral("%1").arg(sequence, 32, 16, QLatin1Char('0')), QStringLiteral("-in"), file,
                   QStringLiteral("-out"), file + QStringLiteral(".enc")});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        return false;
    return QFile::remove(file) && QFile::rename(file + QStringLiteral(".enc"), file);
}

} // namespace

bool hls(const QString& folder, const Programme& programme)
{
    QDir().mkpath(folder);
    return MediaFixture::make(folder + QStringLiteral("/index.m3u8"),
                              sources(programme) + codecs(programme) + hlsOptions(programme));
}

bool hlsTwoVariants(const QString& folder, const Programme& programme, QSize small)
{
    QDir().mkpath(folder);
    return MediaFixture::make(
        folder + QStringLiteral("/stream_%v.m3u8"),
        sources(programme) +
            QStringList{
                QStringLiteral("-filter_complex"),
                QStringLiteral("[0:v]split=2[a][b];[b]scale=%1:%2[small]").arg(small.width()).arg(small.height()),
                QStringLiteral("-map"), QStringLiteral("[a]"), QStringLiteral("-map"), QStringLiteral("1:a"),
                QStringLiteral("-map"), QStringLiteral("[small]"), QStringLiteral("-map"), QStringLiteral("1:a")} +
            codecs(programme) +
            QStringList{QStringLiteral("-b:v:0"), QStringLiteral("800k"), QStringLiteral("-b:v:1"),
                        QStringLiteral("150k")} +
            hlsOptions(programme) +
            QStringList{QStringLiteral("-var_stream_map"), QStringLiteral("v:0,a:0 v:1,a:1"),
                        QStringLiteral("-master_pl_name"), QStringLiteral("master.m3u8"),
                        QStringLiteral("-hls_segment_filename"), folder + QStringLiteral("/seg_%v_%03d.ts")});
}

bool hlsFragmented(const QString& folder, const Programme& programme)
{
    QDir().mkpath(folder);
    return MediaFixture::make(folder + QStringLiteral("/index.m3u8"),
                              sources(programme) + codecs(programme) + hlsOptions(programme) +
                                  QStringList{QStringLiteral("-hls_segment_type"), QStringLiteral("fmp4"),
                                              QStringLiteral("-hls_fmp4_init_filename"), QStringLiteral("init.mp4")});
}

bool hlsAes128(const QString& folder, const Programme& programme, const QByteArray& key)
{
    QDir().mkpath(folder);
    const QString keyFile = folder + QStringLiteral("/key.bin");
    // The key's address in the playlist, then where ffmpeg reads it.
    const QString info = folder + QStringLiteral(".keyinfo");
    return writeFile(keyFile, key) && writeFile(info, "key.bin\n" + keyFile.toUtf8() + "\n") &&
           MediaFixture::make(folder + QStringLiteral("/index.m3u8"),
                              sources(programme) + codecs(programme) + hlsOptions(programme) +
                                  QStringList{QStringLiteral("-hls_key_info_file"), info});
}

bool hlsAes128SequenceIv(const QString& folder, const Programme& programme, const QByteArray& key)
{
    if (!hls(folder, programme) || !writeFile(folder + QStringLiteral("/key.bin"), key))
        return false;
    const QString playlist = folder + QStringLiteral("/index.m3u8");
    QByteArray text = readFile(playlist);
    const QByteArray sequence = "#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(programme.startNumber) + "\n";
    if (!text.contains(sequence))
        return false;
    text.replace(sequence, sequence + "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n");
    if (!writeFile(playlist, text))
        return false;
    const int segments = (programme.seconds + programme.segmentSeconds - 1) / programme.segmentSeconds;
    for (int n = programme.startNumber; n < programme.startNumber + segments; ++n) {
        if (!opensslEncrypt(folder + QStringLiteral("/index%1.ts").arg(n), key, n))
            return false;
    }
    return true;
}

bool dashTimeline(const QString& folder, const Programme& programme)
{
    QDir().mkpath(folder);
    return MediaFixture::make(
        folder + QStringLiteral("/manifest.mpd"),
        sources(programme) +
            QStringList{QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-map"), QStringLiteral("1:a")} +
            codecs(programme) +
            QStringList{QStringLiteral("-f"), QStringLiteral("dash"), QStringLiteral("-seg_duration"),
                        QString::number(programme.segmentSeconds), QStringLiteral("-use_template"), QStringLiteral("1"),
                        QStringLiteral("-use_timeline"), QStringLiteral("1"), QStringLiteral("-adaptation_sets"),
                        QStringLiteral("id=0,streams=v id=1,streams=a")});
}

bool dashSingleFile(const QString& folder, const Programme& programme)
{
    QDir().mkpath(folder);
    return MediaFixture::make(
        folder + QStringLiteral("/manifest.mpd"),
        sources(programme) + codecs(programme) +
            QStringList{QStringLiteral("-f"), QStringLiteral("dash"), QStringLiteral("-seg_duration"),
                        QString::number(programme.segmentSeconds), QStringLiteral("-single_file"), QStringLiteral("1"),
                        QStringLiteral("-adaptation_sets"), QStringLiteral("id=0,streams=v id=1,streams=a")});
}

bool dashSegmentBase(const QString& folder, const Programme& programme)
{
    QDir().mkpath(folder);
    const QString fragment = QString::number(qint64(programme.segmentSeconds) * 1000000);
    QByteArray sets;
    for (const bool video : {true, false}) {
        const QString name = video ? QStringLiteral("video.mp4") : QStringLiteral("audio.mp4");
        if (!MediaFixture::make(folder + QLatin1Char('/') + name,
                                sources(programme) + codecs(programme) +
                                    QStringList{video ? QStringLiteral("-an") : QStringLiteral("-vn"),
                                                QStringLiteral("-movflags"), QStringLiteral("+dash+global_sidx"),
                                                QStringLiteral("-frag_duration"), fragment}))
            return false;
        const QByteArray bytes = readFile(folder + QLatin1Char('/') + name);
        const std::optional<ByteRange> sidx = topLevelBox(bytes, "sidx");
        if (!sidx)
            return false; // ffmpeg wrote no global index
        sets += "<AdaptationSet mimeType=\"" + QByteArray(video ? "video/mp4" : "audio/mp4") + "\" codecs=\"" +
                QByteArray(video ? "avc1.64001f" : "mp4a.40.2") + "\"><Representation id=\"" +
                QByteArray(video ? "v" : "a") + "\" bandwidth=\"" + QByteArray(video ? "500000" : "128000") + '"' +
                (video ? " width=\"" + QByteArray::number(programme.size.width()) + "\" height=\"" +
                             QByteArray::number(programme.size.height()) + '"'
                       : QByteArray(" audioSamplingRate=\"44100\"")) +
                "><BaseURL>" + name.toUtf8() + "</BaseURL><SegmentBase indexRange=\"" +
                QByteArray::number(sidx->offset) + '-' + QByteArray::number(sidx->last()) +
                "\"><Initialization range=\"0-" + QByteArray::number(sidx->offset - 1) +
                "\"/></SegmentBase></Representation></AdaptationSet>\n";
    }
    return writeFile(folder + QStringLiteral("/manifest.mpd"),
                     "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\" "
                     "profiles=\"urn:mpeg:dash:profile:isoff-on-demand:2011\" minBufferTime=\"PT2S\" "
                     "mediaPresentationDuration=\"PT" +
                         QByteArray::number(programme.seconds) + "S\"><Period>\n" + sets + "</Period></MPD>\n");
}

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

} // namespace StreamFixture
