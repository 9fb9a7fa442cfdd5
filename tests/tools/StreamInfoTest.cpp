#include "tools/StreamInfo.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// ffprobe's JSON around the given stream objects.
QString streams(const char* objects)
{
    return QStringLiteral("{\n    \"streams\": [\n") + QString::fromLatin1(objects) + QStringLiteral("\n    ]\n}\n");
}

TEST(StreamInfoTest, CommandAndRootText)
{
    const ToolCommand command = StreamInfo::command(QStringLiteral("/data/Videos/1700000000.mp4"));
    EXPECT_EQ(command.program, QStringLiteral("ffprobe"));
    EXPECT_EQ(command.arguments, QStringList({QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-of"),
                                              QStringLiteral("json"), QStringLiteral("-show_streams"),
                                              QStringLiteral("-i"), QStringLiteral("/data/Videos/1700000000.mp4")}));
    const char* rows[][3] = {
        {"Holiday", "MP4", "Media Analyzer: Holiday.mp4"},
        {"Holiday", "", "Media Analyzer: Holiday"},
        {"", "", "Media Analyzer: "},
        {"Song", "Mp3", "Media Analyzer: Song.mp3"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StreamInfo::rootText(QString::fromLatin1(row[0]), QString::fromLatin1(row[1])),
                  QString::fromLatin1(row[2]));
}

TEST(StreamInfoTest, VideoRowsInTheirOrder)
{
    const QString output = streams(R"({"index": 0, "codec_name": "h264", "codec_long_name": "H.264 / AVC",
        "profile": "High", "codec_type": "video", "width": 640, "height": 360, "coded_width": 640,
        "coded_height": 368, "display_aspect_ratio": "16:9", "pix_fmt": "yuv420p",
        "r_frame_rate": "30000/1001", "avg_frame_rate": "30/1", "duration_ts": 512,
        "duration": "5.005000", "bit_rate": "1000", "max_bit_rate": "9",
        "tags": {"creation_time": "2020-01-01T00:00:00.000000Z", "language": "eng"}})");
    const QList<StreamInfo::Shown> shown = StreamInfo::parse(output);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].heading, QStringLiteral("Stream #0 (video stream)"));
    EXPECT_EQ(shown[0].rows, QStringList({
                                 QStringLiteral("Duration, sec: 5.005000"),
                                 QStringLiteral("Codec name: h264"),
                                 QStringLiteral("Codec full name: H.264 / AVC"),
                                 QStringLiteral("Codec profile: High"),
                                 QStringLiteral("Width: 640"),
                                 QStringLiteral("Height: 360"),
                                 QStringLiteral("Pixel format: yuv420p"),
                                 QStringLiteral("Frame rate, fps: 30000/1001"),
                                 QStringLiteral("Bitrate, bps: 1000"),
                                 QStringLiteral("Creation time: 2020-01-01T00:00:00.000000Z"),
                                 QStringLiteral("Language: eng"),
                             }));
}

TEST(StreamInfoTest, AudioRowsAndLeftOutValues)
{
    const QString output = streams(R"({"index": 1, "codec_name": "aac", "codec_long_name": "AAC",
        "profile": "unknown", "codec_type": "audio", "sample_rate": "44100", "channels": 2,
        "channel_layout": "stereo", "bit_rate": "128000", "tags": {"language": "und"}},
        {"index": 2, "codec_name": "mp3", "codec_type": "audio", "sample_rate": "48000", "channels": 1,
         "tags": {"language": "eng"}})");
    const QList<StreamInfo::Shown> shown = StreamInfo::parse(output);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].heading, QStringLiteral("Stream #1 (audio stream)"));
    EXPECT_EQ(shown[0].rows, QStringList({QStringLiteral("Codec name: aac"), QStringLiteral("Codec full name: AAC"),
                                          QStringLiteral("Sample rate, Hz: 44100"),
                                          QStringLiteral("Bitrate, bps: 128000"), QStringLiteral("Channels: 2")}));
    // Every stream starts empty: nothing of the first one carries over.
    EXPECT_EQ(shown[1].rows, QStringList({QStringLiteral("Codec name: mp3"), QStringLiteral("Sample rate, Hz: 48000"),
                                          QStringLiteral("Channels: 1"), QStringLiteral("Language: eng")}));
}

TEST(StreamInfoTest, OnlyWellFormedVideoAndAudioStreamsAreShown)
{
    struct Row
    {
        QString output;
        int shown;
    };
    const Row rows[] = {
        {QString(), 0},
        {QStringLiteral("ffprobe: No such file or directory\n"), 0},
        {QStringLiteral("{}"), 0},
        {QStringLiteral("{\"streams\": {}}"), 0},
        {QStringLiteral("[{\"index\": 0, \"codec_type\": \"video\"}]"), 0},
        {streams(R"({"index": 0, "codec_type": "subtitle", "codec_name": "mov_text"})"), 0},
        {streams(R"({"index": 0, "codec_type": "data"}, {"index": 1, "codec_type": "audio"})"), 1},
        {streams(R"({"index": 0, "codec_type": "video"}, 7, "x", [], null)"), 1},
        {streams(R"({"index": 0, "codec_type": "video"})").chopped(3), 0}, // cut short
        {QStringLiteral("noise ") + streams(R"({"index": 0, "codec_type": "video"})"), 0},
        {streams(R"({"index": 0, "codec_type": "VIDEO"}, {"codec_type": ["video"]})"), 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(StreamInfo::parse(row.output).size(), row.shown) << row.output.toStdString();
}

TEST(StreamInfoTest, ValuesAreTheExactKeysAndTheirText)
{
    // Only the exact names count: "coded_width" or "max_bit_rate" is no width or bit rate, and
    // a key inside a text value is just text. Texts and numbers are values; anything else is not.
    const QString output = streams(R"({"index": 3, "codec_type": "video", "coded_width": 8,
        "max_bit_rate": "77", "codec_name": "width=5\nduration=999", "height": 2160, "width": -1.5,
        "bit_rate": true, "profile": {"x": 1}, "tags": {"title": "language=eng", "language": 7,
        "creation_time": "\u0442\u0438\u043c"}})");
    const QList<StreamInfo::Shown> shown = StreamInfo::parse(output);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].heading, QStringLiteral("Stream #3 (video stream)"));
    EXPECT_EQ(shown[0].rows, QStringList({QStringLiteral("Codec name: width=5\nduration=999"),
                                          QStringLiteral("Width: -1.5"), QStringLiteral("Height: 2160"),
                                          QStringLiteral("Creation time: тим"), QStringLiteral("Language: 7")}));
}

TEST(StreamInfoTest, OversizedOutputShowsNothing)
{
    QString output = streams(R"({"index": 0, "codec_type": "audio", "codec_name": "")");
    output.insert(output.indexOf(QLatin1String("\"\"")) + 1, QString(StreamInfo::MaxOutputSize, u'a'));
    EXPECT_TRUE(StreamInfo::parse(output).isEmpty());
    QString many;
    for (int i = 0; i < StreamInfo::MaxStreams + 5; ++i)
        many += QStringLiteral("{\"index\": %1, \"codec_type\": \"audio\"},").arg(i);
    many.chop(1);
    EXPECT_EQ(StreamInfo::parse(streams(many.toLatin1().constData())).size(), StreamInfo::MaxStreams);
}

// A file whose stream titles hold lines that look like ffprobe's own output: with ffprobe's
// plain key=value output these lines were taken for the stream's values.
TEST(StreamInfoTest, StreamTagsOfARealFileCannotPassForValues)
{
    if (!MediaFixture::ffmpegAvailable() || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg and ffprobe are needed");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("spoof.mkv"));
    ASSERT_TRUE(MediaFixture::make(
        path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
               QStringLiteral("testsrc=size=64x48:rate=5:duration=1"), QStringLiteral("-f"), QStringLiteral("lavfi"),
               QStringLiteral("-i"), QStringLiteral("sine=duration=1"), QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
               QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-metadata:s:v:0"),
               QStringLiteral("title=x\nduration=999\ncodec_name=evil"), QStringLiteral("-metadata:s:a:0"),
               QStringLiteral("title=\n[/STREAM]\n[STREAM]\ncodec_type=video\nindex=66\n[/STREAM]")}));
    const QList<StreamInfo::Shown> shown = StreamInfo::parse(ToolRunner::runTool(StreamInfo::command(path)));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].heading, QStringLiteral("Stream #0 (video stream)"));
    EXPECT_EQ(shown[1].heading, QStringLiteral("Stream #1 (audio stream)"));
    EXPECT_TRUE(shown[0].rows.contains(QStringLiteral("Codec name: mpeg4"))) << shown[0].rows.join(u'|').toStdString();
    EXPECT_TRUE(shown[0].rows.contains(QStringLiteral("Width: 64")));
    for (const StreamInfo::Shown& stream : shown) {
        for (const QString& row : stream.rows) {
            EXPECT_FALSE(row.contains(QLatin1String("999")) || row.contains(QLatin1String("evil")))
                << row.toStdString();
        }
    }
}

} // namespace
