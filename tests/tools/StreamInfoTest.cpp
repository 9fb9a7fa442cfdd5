#include "tools/StreamInfo.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

QString block(const char* body)
{
    return QStringLiteral("[STREAM]\n") + QString::fromLatin1(body) + QStringLiteral("[/STREAM]\n");
}

TEST(StreamInfoTest, CommandAndRootText)
{
    const ToolCommand command = StreamInfo::command(QStringLiteral("/data/Videos/1700000000.mp4"));
    EXPECT_EQ(command.program, QStringLiteral("ffprobe"));
    EXPECT_EQ(command.arguments, QStringList({QStringLiteral("-show_streams"), QStringLiteral("-i"),
                                              QStringLiteral("/data/Videos/1700000000.mp4")}));
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
    const QString output = block("index=0\ncodec_name=h264\ncodec_long_name=H.264 / AVC\nprofile=High\n"
                                 "codec_type=video\nwidth=640\nheight=360\ncoded_width=640\ncoded_height=368\n"
                                 "sample_aspect_ratio=1:1\ndisplay_aspect_ratio=16:9\npix_fmt=yuv420p\n"
                                 "r_frame_rate=30000/1001\navg_frame_rate=30/1\nduration_ts=512\n"
                                 "duration=5.005000\nbit_rate=1000\nmax_bit_rate=N/A\nbits_per_raw_sample=8\n"
                                 "TAG:creation_time=2020-01-01T00:00:00.000000Z\nTAG:language=eng\n");
    const QList<StreamInfo::Shown> streams = StreamInfo::parse(output);
    ASSERT_EQ(streams.size(), 1);
    EXPECT_EQ(streams[0].heading, QStringLiteral("Stream #0 (video stream)"));
    EXPECT_EQ(streams[0].rows, QStringList({
                                   QStringLiteral("Duration, sec: 5.005000"),
                                   QStringLiteral("Codec name: h264"),
                                   QStringLiteral("Codec full name: H.264 / AVC"),
                                   QStringLiteral("Codec profile: High"),
                                   // The later coded_width/coded_height lines are other values.
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
    const QString output =
        block("index=1\ncodec_name=aac\ncodec_long_name=AAC\nprofile=unknown\ncodec_type=audio\n"
              "sample_rate=44100\nchannels=2\nchannel_layout=stereo\nbit_rate=128000\nTAG:language=und\n") +
        block("index=2\ncodec_name=mp3\ncodec_type=audio\nsample_rate=48000\nchannels=1\nTAG:language=eng\n");
    const QList<StreamInfo::Shown> streams = StreamInfo::parse(output);
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].heading, QStringLiteral("Stream #1 (audio stream)"));
    EXPECT_EQ(streams[0].rows, QStringList({QStringLiteral("Codec name: aac"), QStringLiteral("Codec full name: AAC"),
                                            QStringLiteral("Sample rate, Hz: 44100"),
                                            QStringLiteral("Bitrate, bps: 128000"), QStringLiteral("Channels: 2")}));
    // The second block starts empty: nothing of the first stream carries over.
    EXPECT_EQ(streams[1].rows, QStringList({QStringLiteral("Codec name: mp3"), QStringLiteral("Sample rate, Hz: 48000"),
                                            QStringLiteral("Channels: 1"), QStringLiteral("Language: eng")}));
}

TEST(StreamInfoTest, OnlyVideoAndAudioBlocksAreShown)
{
    struct Row
    {
        QString output;
        int streams;
    };
    const Row rows[] = {
        {QString(), 0},
        {QStringLiteral("ffprobe: No such file or directory\n"), 0},
        {block("index=0\ncodec_type=subtitle\ncodec_name=mov_text\n"), 0},
        {block("index=0\ncodec_type=data\n") + block("index=1\ncodec_type=audio\n"), 1},
        {QStringLiteral("index=0\ncodec_type=video\n"), 0}, // never closed
        {QStringLiteral("[STREAM]\r\nindex=3\r\n\r\ncodec_type=video\r\n[/STREAM]\r\n"), 1},
        {block("index=0\ncodec_type=attachment\n") + block("index=1\ncodec_type=video\n"), 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(StreamInfo::parse(row.output).size(), row.streams) << row.output.toStdString();
    const QList<StreamInfo::Shown> crlf = StreamInfo::parse(rows[5].output);
    EXPECT_EQ(crlf[0].heading, QStringLiteral("Stream #3 (video stream)"));
    EXPECT_TRUE(crlf[0].rows.isEmpty());
}

TEST(StreamInfoTest, FirstKeyInOrderTakesTheLineAndEveryOccurrenceIsRemoved)
{
    StreamInfo info;
    EXPECT_TRUE(info.take(QStringLiteral("TAG:comment=index=7")));
    EXPECT_EQ(info.index, QStringLiteral("TAG:comment=7")) << "index= is tried before every other key";
    EXPECT_TRUE(info.take(QStringLiteral("width=1width=2")));
    EXPECT_EQ(info.width, QStringLiteral("12"));
    EXPECT_TRUE(info.take(QStringLiteral("TAG:title=width=5")));
    EXPECT_EQ(info.width, QStringLiteral("TAG:title=5")) << "a key after '=' starts a name";
    for (const char* line : {"nb_channels=6", "coded_width=8", "max_bit_rate=N/A", "Xindex=1"})
        EXPECT_FALSE(info.take(QString::fromLatin1(line))) << line;
    EXPECT_TRUE(info.take(QStringLiteral("coded_width=8 width=9")));
    EXPECT_EQ(info.width, QStringLiteral("coded_8 9")) << "every occurrence of the key is removed";
    EXPECT_FALSE(info.take(QStringLiteral("Index=9")));
    EXPECT_FALSE(info.take(QStringLiteral("codec_tag_string=avc1")));
}

} // namespace
