// A live stream end to end: hls.js in headless Chromium plays a live HLS playlist that grows
// while the test runs (segments ffmpeg made beforehand, published one a second) from nginx on
// lo; the built program captures the playlist, records it from the live edge with its row shown
// as "Live" and the seconds recorded, rides out 20 s without the server, and when the program is
// stopped what it recorded reaches the library, decodable, with the gap in its trace.
#include "capture/PacketCapture.h"
#include "support/LiveHlsPlaylist.h"
#include "support/MediaCheck.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
const QString kPlayers = QStringLiteral(TRAWLIX_BINARY_DIR "/players/node_modules");
const QString kTypes = QStringLiteral("types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; text/html html; "
                                      "application/javascript js; }\n");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The highest "Live M:SS" the program printed for its row, in seconds (-1: none yet).
int liveSeconds(const QByteArray& output)
{
    static const QRegularExpression live(QStringLiteral(": Live (\\d+):(\\d\\d)\\n"));
    int most = -1;
    for (auto it = live.globalMatch(QString::fromUtf8(output)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        most = std::max(most, match.captured(1).toInt() * 60 + match.captured(2).toInt());
    }
    return most;
}

class LiveStreamCapture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kBinary).isExecutable())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        const QString why = PacketCapture::probeAdapter(QStringLiteral("lo"));
        if (!why.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("live capture on lo is not permitted here (run as root): " << why.toStdString());
        if (!m_browser.installed())
            TRAWLIX_SKIP_UNLESS_CI("chromium is not installed");
        if (!QFileInfo::exists(kPlayers + QStringLiteral("/hls.js/dist/hls.min.js")))
            TRAWLIX_SKIP_UNLESS_CI("the web players are not installed (scripts/install-players.sh)");
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    }

    // Reads what the program printed until `condition` holds or `seconds` pass.
    template <typename Condition> bool readUntil(Condition condition, int seconds)
    {
        const QDeadlineTimer deadline(std::chrono::seconds{seconds});
        while (!condition(m_output) && !deadline.hasExpired() && m_trawlix.state() == QProcess::Running) {
            m_trawlix.waitForReadyRead(100);
            m_output += m_trawlix.readAll();
        }
        return condition(m_output);
    }

    QTemporaryDir m_dir;
    TestBrowser m_browser{TestBrowser::Kind::Chromium, m_dir.filePath(QStringLiteral("browser"))};
    QProcess m_trawlix;
    QByteArray m_output;
};

TEST_F(LiveStreamCapture, PlayedLiveStreamIsRecordedThroughAnOutageIntoTheLibrary)
{
    const QString www = m_dir.filePath(QStringLiteral("www"));
    const QString data = m_dir.filePath(QStringLiteral("data"));
    const QString config = m_dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(www + QStringLiteral("/live")));
    ASSERT_TRUE(QFile::copy(kPlayers + QStringLiteral("/hls.js/dist/hls.min.js"), www + QStringLiteral("/hls.min.js")));
    ASSERT_TRUE(writeFile(www + QStringLiteral("/live.html"),
                          "<!doctype html><html><head><title>A live programme</title>"
                          "<script src=\"/hls.min.js\"></script></head><body><video id=v muted autoplay></video>"
                          "<script>const hls = new Hls(); hls.loadSource('/live/live.m3u8');"
                          "hls.attachMedia(document.getElementById('v'));</script></body></html>"));
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(www + QStringLiteral("/live"), 60));

    // The request analyser knows HTTP on ports 80 and 8080 only; another test may hold 8080.
    NginxServer nginx(www, 8080);
    nginx.setServerDirectives(kTypes);
    const QDeadlineTimer portWait(30000);
    bool started = nginx.start();
    while (!started && !portWait.hasExpired()) {
        QThread::msleep(500);
        started = nginx.start();
    }
    if (!started)
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1:8080: " << nginx.error().toStdString());
    LiveHlsPlaylist live(www + QStringLiteral("/live"));
    ASSERT_TRUE(live.start());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
    environment.insert(QStringLiteral("TRAWLIX_TRACE"), QStringLiteral("1"));
    environment.remove(QStringLiteral("TRAWLIX_HOME"));
    QProcess seed;
    seed.setProcessEnvironment(environment);
    seed.start(kBinary, {QStringLiteral("--headless"), QStringLiteral("--list"), QStringLiteral("--data-dir"), data});
    ASSERT_TRUE(seed.waitForFinished(30000));
    {
        QSettings settings(config + QStringLiteral("/Trawlix/Trawlix.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    }

    m_trawlix.setProcessEnvironment(environment);
    m_trawlix.setProcessChannelMode(QProcess::MergedChannels);
    m_trawlix.start(kBinary, {QStringLiteral("--headless"), QStringLiteral("--data-dir"), data,
                              QStringLiteral("--interface"), QStringLiteral("lo")});
    ASSERT_TRUE(m_trawlix.waitForStarted(10000));
    // Let the capture open the adapter before the player asks.
    readUntil([](const QByteArray&) { return false; }, 2);
    ASSERT_EQ(m_trawlix.state(), QProcess::Running) << m_output.constData();

    ASSERT_TRUE(m_browser.load(nginx.url(QStringLiteral("/live.html")), 5000)) << m_browser.error().toStdString();
    ASSERT_TRUE(readUntil([](const QByteArray& output) { return liveSeconds(output) >= 4; }, 40))
        << "no live recording:\n"
        << m_output.constData();
    // One row, marked HLS: "download N [BASE]: [HLS] address 0%".
    const QRegularExpressionMatch row =
        QRegularExpression(QStringLiteral("download (\\d+) \\[(\\d+)\\]: \\[HLS\\] \\S+/live/live\\.m3u8"))
            .match(QString::fromUtf8(m_output));
    ASSERT_TRUE(row.hasMatch()) << m_output.constData();
    EXPECT_EQ(QString::fromUtf8(m_output).count(QRegularExpression(QStringLiteral("download \\d+ \\[\\d+\\]: "))), 1)
        << "the stream is one candidate, its playlist reloads and segments none:\n"
        << m_output.constData();
    const QString base = row.captured(2);

    nginx.stop();
    const int before = liveSeconds(m_output);
    readUntil([](const QByteArray&) { return false; }, 20);
    EXPECT_EQ(liveSeconds(m_output), before) << "recorded while the server was away";
    ASSERT_TRUE(nginx.start()) << nginx.error().toStdString();
    ASSERT_TRUE(readUntil([before](const QByteArray& output) { return liveSeconds(output) >= before + 3; }, 40))
        << "nothing recorded after the outage:\n"
        << m_output.constData();

    // The program's stop: what was recorded is assembled before it ends.
    m_trawlix.terminate();
    readUntil([](const QByteArray&) { return false; }, 40);
    ASSERT_EQ(m_trawlix.state(), QProcess::NotRunning) << m_output.constData();
    m_output += m_trawlix.readAll();
    EXPECT_EQ(m_trawlix.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(m_output.contains("Live recording gap at")) << m_output.constData();

    const QString library = data + QStringLiteral("/Videos/") + base + QStringLiteral(".mp4");
    ASSERT_TRUE(QFileInfo::exists(library)) << "no library file " << library.toStdString() << "\n"
                                            << m_output.constData();
    EXPECT_EQ(MediaCheck::decodeErrors(library), QString());
    const QString streams = MediaCheck::probe(library);
    EXPECT_TRUE(streams.contains(QLatin1String("codec_type=video"))) << streams.toStdString();
    EXPECT_TRUE(streams.contains(QLatin1String("codec_type=audio"))) << streams.toStdString();
    // What was recorded, the runs before and after the gap one after the other.
    EXPECT_NEAR(MediaCheck::duration(library), double(liveSeconds(m_output)), 1.5) << m_output.constData();
    EXPECT_TRUE(QDir(data + QStringLiteral("/Temp")).entryList({QStringLiteral("stream-*")}, QDir::Dirs).isEmpty())
        << "the recording's folder was left in Temp/";
}

} // namespace
