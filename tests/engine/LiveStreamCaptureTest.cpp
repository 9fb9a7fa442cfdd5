// A live stream end to end: hls.js in headless Chromium plays a live HLS playlist that grows
// while the test runs (segments ffmpeg made beforehand, published one a second) from nginx on
// lo; the built program captures the playlist, records it from the live edge with its row shown
// as "Live" and the seconds recorded, rides out 20 s without the server, and when the program is
// stopped what it recorded reaches the library, decodable, with the gap in its trace.
#include "support/BuiltProgram.h"
#include "support/LiveHlsPlaylist.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

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
        if (const QString missing = BuiltProgram::missingForLiveCapture(); !missing.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
        if (!m_browser.installed())
            TRAWLIX_SKIP_UNLESS_CI("chromium is not installed");
        if (!TestSite::playersInstalled())
            TRAWLIX_SKIP_UNLESS_CI("the web players are not installed (scripts/install-players.sh)");
    }

    QTemporaryDir m_dir;
    TestBrowser m_browser{TestBrowser::Kind::Chromium, m_dir.filePath(QStringLiteral("browser"))};
    BuiltProgram m_trawlix{m_dir.filePath(QStringLiteral("trawlix"))};
};

TEST_F(LiveStreamCapture, PlayedLiveStreamIsRecordedThroughAnOutageIntoTheLibrary)
{
    const QString www = m_dir.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www + QStringLiteral("/live")));
    ASSERT_TRUE(TestSite::copyPlayers(www));
    ASSERT_TRUE(writeFile(www + QStringLiteral("/live.html"),
                          "<!doctype html><html><head><title>A live programme</title>"
                          "<script src=\"/hls.min.js\"></script></head><body><video id=v muted autoplay></video>"
                          "<script>const hls = new Hls(); hls.loadSource('/live/live.m3u8');"
                          "hls.attachMedia(document.getElementById('v'));</script></body></html>"));
    ASSERT_TRUE(LiveHlsPlaylist::makeSegments(www + QStringLiteral("/live"), 60));

    // The request analyser knows HTTP on ports 80 and 8080 only; another test may hold 8080.
    NginxServer nginx(www, 8080);
    nginx.setServerDirectives(kTypes);
    if (!nginx.start(30000))
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1:8080: " << nginx.error().toStdString());
    LiveHlsPlaylist live(www + QStringLiteral("/live"));
    ASSERT_TRUE(live.start());

    m_trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    m_trawlix.traceOn();
    ASSERT_TRUE(m_trawlix.startCapture()) << m_trawlix.output().constData();

    ASSERT_TRUE(m_browser.load(nginx.url(QStringLiteral("/live.html")), 5000)) << m_browser.error().toStdString();
    ASSERT_TRUE(m_trawlix.waitFor([](const QByteArray& output) { return liveSeconds(output) >= 4; }, 40000))
        << "no live recording:\n"
        << m_trawlix.output().constData();
    QByteArray printed = m_trawlix.output();
    // One row, marked HLS: "download N [BASE]: [HLS] address 0%".
    const QRegularExpressionMatch row =
        QRegularExpression(QStringLiteral("download (\\d+) \\[(\\d+)\\]: \\[HLS\\] \\S+/live/live\\.m3u8"))
            .match(QString::fromUtf8(printed));
    ASSERT_TRUE(row.hasMatch()) << printed.constData();
    EXPECT_EQ(QString::fromUtf8(printed).count(QRegularExpression(QStringLiteral("download \\d+ \\[\\d+\\]: "))), 1)
        << "the stream is one candidate, its playlist reloads and segments none:\n"
        << printed.constData();
    const QString base = row.captured(2);

    nginx.stop();
    const int before = liveSeconds(m_trawlix.output());
    m_trawlix.settle(20000); // the outage
    EXPECT_EQ(liveSeconds(m_trawlix.output()), before) << "recorded while the server was away";
    ASSERT_TRUE(nginx.start()) << nginx.error().toStdString();
    ASSERT_TRUE(
        m_trawlix.waitFor([before](const QByteArray& output) { return liveSeconds(output) >= before + 3; }, 40000))
        << "nothing recorded after the outage:\n"
        << m_trawlix.output().constData();

    // The program's stop: what was recorded is assembled before it ends.
    EXPECT_NE(m_trawlix.stop(40000), -1) << "killed or crashed";
    printed = m_trawlix.output();
    EXPECT_TRUE(printed.contains("Live recording gap at")) << printed.constData();

    const QString library = m_trawlix.data(QStringLiteral("Videos/") + base + QStringLiteral(".mp4"));
    ASSERT_TRUE(QFileInfo::exists(library)) << "no library file " << library.toStdString() << "\n"
                                            << printed.constData();
    EXPECT_EQ(MediaFixture::decodeErrors(library), QString());
    const QString streams = MediaFixture::probe(library);
    EXPECT_TRUE(streams.contains(QLatin1String("codec_type=video"))) << streams.toStdString();
    EXPECT_TRUE(streams.contains(QLatin1String("codec_type=audio"))) << streams.toStdString();
    // What was recorded, the runs before and after the gap one after the other.
    EXPECT_NEAR(MediaFixture::duration(library), double(liveSeconds(printed)), 1.5) << printed.constData();
    EXPECT_TRUE(
        QDir(m_trawlix.data(QStringLiteral("Temp"))).entryList({QStringLiteral("stream-*")}, QDir::Dirs).isEmpty())
        << "the recording's folder was left in Temp/";
}

} // namespace
