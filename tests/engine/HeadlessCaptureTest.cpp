#include "support/BuiltProgram.h"
#include "support/FrameBuilder.h"
#include "support/PageVisitCapture.h"
#include "support/PcapFileWriter.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HeadlessCapture : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        // The store the program will read: the defaults, with video detection switched on.
        m_trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    }

    // Runs `trawlix --headless --pcap FILE`; returns its standard output.
    QString runOn(const QString& pcap, int& exitCode)
    {
        const BuiltProgram::Run run = m_trawlix.run({QStringLiteral("--pcap"), pcap}, 30000);
        exitCode = run.exitCode;
        return QString::fromUtf8(run.out);
    }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path()};
};

TEST_F(HeadlessCapture, PrintsOneLinePerNewCandidateAndEndsWithTheFile)
{
    const QString pcap = PageVisitCapture::write(m_dir.filePath(QStringLiteral("traffic.pcap")));
    int exitCode = 0;
    // Named as a user in another folder would name it: relative to where the program starts.
    const QString relative = QDir::current().relativeFilePath(pcap);
    ASSERT_FALSE(relative.startsWith(QLatin1Char('/')));
    const QStringList lines = runOn(relative, exitCode).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    const QRegularExpression video(
        QStringLiteral("^New\t\\d{10}\thttp://127.0.0.1:8080/clip.mp4\t.mp4\tUnnamed media file$"));
    const QRegularExpression audio(QStringLiteral("^New\t\\d{10}\thttp://127.0.0.1:8080/music/Song.mp3\t.mp3\tSong$"));
    EXPECT_TRUE(video.match(lines.at(0)).hasMatch()) << lines.at(0).toStdString();
    EXPECT_TRUE(audio.match(lines.at(1)).hasMatch()) << lines.at(1).toStdString();
}

// A web player's traffic for one HLS and one DASH programme: each stream is printed once, marked,
// and none of its playlists or segments is a line of its own.
TEST_F(HeadlessCapture, StreamsArePrintedOnceAndMarked)
{
    using Link = FrameBuilder::Link;
    const QString pcap = m_dir.filePath(QStringLiteral("streams.pcap"));
    {
        PcapFileWriter writer(pcap, FrameBuilder::linkType(Link::LinuxCooked));
        const QList<QByteArray> headers = {"Host: 127.0.0.1:8080", "User-Agent: Browser",
                                           "Referer: http://127.0.0.1:8080/hls.html"};
        const auto exchange = [&](quint16 port, const QByteArray& path, const QByteArray& type,
                                  const QByteArray& body = {}) {
            writer.write(
                FrameBuilder::frame({port, 8080, 1, FrameBuilder::requestText(path, headers), 12, Link::LinuxCooked}));
            writer.write(FrameBuilder::frame(
                {8080, port, 1, FrameBuilder::responseText({"Content-Type: " + type}) + body, 12, Link::LinuxCooked}));
        };
        exchange(40000, "/hls/master.m3u8", "application/vnd.apple.mpegurl",
                 "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=640x360\nstream_0.m3u8\n");
        exchange(40000, "/hls/stream_0.m3u8", "application/vnd.apple.mpegurl");
        exchange(40001, "/hls/stream_0_0.ts", "video/mp2t");
        exchange(40001, "/hls/stream_0_1.ts", "video/mp2t");
        exchange(40002, "/dash/manifest.mpd", "application/dash+xml");
        exchange(40002, "/dash/init-stream0.m4s", "video/mp4");
        exchange(40003, "/dash/chunk-stream0-00001.m4s", "video/iso.segment");
    }
    int exitCode = 0;
    // Named as a user in another folder would name it: relative to where the program starts.
    const QString relative = QDir::current().relativeFilePath(pcap);
    ASSERT_FALSE(relative.startsWith(QLatin1Char('/')));
    const QStringList lines = runOn(relative, exitCode).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^New\t\\d{10}\thttp://127.0.0.1:8080/hls/master.m3u8\t.mp4\t"
                                                  "Unnamed media file\tHLS$"))
                    .match(lines.at(0))
                    .hasMatch())
        << lines.at(0).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^New\t\\d{10}\thttp://127.0.0.1:8080/dash/manifest.mpd\t.mp4\t"
                                                  "Unnamed media file\tDASH$"))
                    .match(lines.at(1))
                    .hasMatch())
        << lines.at(1).toStdString();
}

// Anyone on the network chooses the Host header and the address a title is taken from: the
// printed line carries their control characters escaped, never raw to the terminal.
TEST_F(HeadlessCapture, ControlCharactersFromTheNetworkArePrintedEscaped)
{
    using Link = FrameBuilder::Link;
    const QString pcap = m_dir.filePath(QStringLiteral("hostile.pcap"));
    {
        PcapFileWriter writer(pcap, FrameBuilder::linkType(Link::LinuxCooked));
        const auto send = [&](quint16 from, quint16 to, const QByteArray& payload) {
            writer.write(FrameBuilder::frame({from, to, 1, payload, 12, Link::LinuxCooked}));
        };
        // OSC "set the window title" ended by BEL, then "clear the screen", in the host.
        const QList<QByteArray> hostile = {"Host: 127.0.0.1:8080\x1b]0;owned\x07\x1b[2J", "User-Agent: Browser"};
        send(40000, 8080, FrameBuilder::requestText("/clip.mp4", hostile));
        send(8080, 40000, FrameBuilder::responseText({"Content-Type: video/mp4"}));
        // An 8-bit CSI (0x9B, read as U+009B) at the start of the title an MP3 address gives.
        const QList<QByteArray> plain = {"Host: 127.0.0.1:8080", "User-Agent: Browser"};
        send(40001, 80,
             FrameBuilder::requestText("/music/\x9b"
                                       "31mSong.mp3",
                                       plain));
        send(80, 40001, FrameBuilder::responseText({"Content-Type: audio/mpeg"}));
    }
    int exitCode = 0;
    const QString output = runOn(pcap, exitCode);
    EXPECT_EQ(exitCode, 0);
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << output.toStdString();
    EXPECT_TRUE(lines.at(0).contains(QStringLiteral("\thttp://127.0.0.1:8080\\x1b]0;owned\\x07\\x1b[2J/clip.mp4\t")))
        << lines.at(0).toStdString();
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral("\t.mp3\t\\x9b31mSong"))) << lines.at(1).toStdString();
    // Five fields each: no tab came from the network either.
    for (const QString& line : lines)
        EXPECT_EQ(line.count(QLatin1Char('\t')), 4) << line.toStdString();
    for (const QChar c : output) {
        const char16_t code = c.unicode();
        EXPECT_TRUE(code == u'\n' || code == u'\t' || (code >= 0x20 && code != 0x7f && !(code >= 0x80 && code <= 0x9f)))
            << "a control character reached the terminal: " << int(code);
    }
}

TEST_F(HeadlessCapture, UnreadableFileEndsWithAnError)
{
    const QString pcap = m_dir.filePath(QStringLiteral("broken.pcap"));
    QFile file(pcap);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a capture");
    file.close();
    int exitCode = 0;
    EXPECT_TRUE(runOn(pcap, exitCode).isEmpty());
    EXPECT_EQ(exitCode, 1);
}

} // namespace
