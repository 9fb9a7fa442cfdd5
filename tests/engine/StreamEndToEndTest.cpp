// Segmented streams into the library, as a user meets them: `trawlix --headless --interface lo`
// runs while headless Chromium plays a page's programme through the real web player (hls.js or
// dash.js) from nginx. Whatever the player fetched, the programme must reach "Videos/" whole:
// its duration within one segment, the best variant's picture, its sound, no decode errors,
// with the page's title and the site's icon. One HLS case runs over HTTPS with the key log.
#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/StreamFixture.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

enum class Kind
{
    HlsTwoVariants,
    HlsFragmented,
    HlsAes128,
    DashTimeline,
    DashSegmentBase,
};

struct StreamCase
{
    const char* name;
    Kind kind;
    bool https;
    // Plain HTTP on 8080 is read by the frame analyser; on any other port (0: a free one) by
    // the decoder of reassembled connections, as HTTPS is.
    quint16 port;
};

// 8 s of 640x360 in 2 s segments; the second HLS variant is 320x180.
const StreamFixture::Programme kProgramme{8, 2, QSize(640, 360), 0};
constexpr double kSegmentSeconds = 2;

bool isHls(Kind kind)
{
    return kind != Kind::DashTimeline && kind != Kind::DashSegmentBase;
}

// Makes the programme in stream/ and returns its manifest's path on the site.
QString makeStream(Kind kind, const TestSite& site)
{
    const QString folder = site.path(QStringLiteral("stream"));
    switch (kind) {
    case Kind::HlsTwoVariants:
        return StreamFixture::hlsTwoVariants(folder, kProgramme, QSize(320, 180))
                   ? QStringLiteral("/stream/master.m3u8")
                   : QString();
    case Kind::HlsFragmented:
        return StreamFixture::hlsFragmented(folder, kProgramme) ? QStringLiteral("/stream/index.m3u8") : QString();
    case Kind::HlsAes128:
        return StreamFixture::hlsAes128(folder, kProgramme, QByteArray::fromHex("8899aabbccddeeff0011223344556677"))
                   ? QStringLiteral("/stream/index.m3u8")
                   : QString();
    case Kind::DashTimeline:
        return StreamFixture::dashTimeline(folder, kProgramme) ? QStringLiteral("/stream/manifest.mpd") : QString();
    case Kind::DashSegmentBase:
        return StreamFixture::dashSegmentBase(folder, kProgramme) ? QStringLiteral("/stream/manifest.mpd") : QString();
    }
    return {};
}

// The page that plays the manifest. hls.js is held on its smallest variant: the library must
// still get the best one.
QByteArray playerPage(Kind kind, const QString& manifest)
{
    if (isHls(kind))
        return "<script src=\"/hls.min.js\"></script><video id=v muted autoplay></video><script>"
               "const hls = new Hls({startLevel: 0});"
               "hls.on(Hls.Events.MANIFEST_PARSED, () => { hls.currentLevel = 0; });"
               "hls.loadSource('" +
               manifest.toUtf8() + "'); hls.attachMedia(document.getElementById('v'));</script>";
    return "<script src=\"/dash.all.min.js\"></script><video id=v muted autoplay></video><script>"
           "const p = dashjs.MediaPlayer().create();"
           "p.initialize(document.getElementById('v'), '" +
           manifest.toUtf8() + "', true);</script>";
}

class StreamEndToEnd : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(StreamEndToEnd, ThePlayedProgrammeReachesTheLibraryWhole)
{
    const StreamCase& row = GetParam();
    if (const QString missing = BuiltProgram::missingForLiveCapture(); !missing.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
    if (!TestSite::playersInstalled())
        TRAWLIX_SKIP_UNLESS_CI("the web players are not installed (scripts/install-players.sh)");
    QTemporaryDir dir;
    TestBrowser browser(TestBrowser::Kind::Chromium, dir.filePath(QStringLiteral("browser")));
    if (!browser.installed())
        TRAWLIX_SKIP_UNLESS_CI("chromium is not installed");

    TestSite site(dir.filePath(QStringLiteral("site")));
    ASSERT_TRUE(TestSite::copyPlayers(site.www()));
    const QString manifest = makeStream(row.kind, site);
    ASSERT_FALSE(manifest.isEmpty()) << "ffmpeg could not make the programme";
    const QByteArray title = "A programme: " + QByteArray(row.name);
    ASSERT_TRUE(site.writePage(QStringLiteral("watch/index.html"), title, playerPage(row.kind, manifest)));
    ASSERT_TRUE(site.writeIcon(QStringLiteral("blue")));
    site.logRequests();
    if (row.https)
        site.useTls(QStringLiteral("TLSv1.3"), true);
    site.setPort(row.port);
    if (!site.start(row.port ? 30000 : 0))
        TRAWLIX_SKIP_UNLESS_CI("nginx could not start: " << site.error().toStdString());

    BuiltProgram trawlix(dir.filePath(QStringLiteral("trawlix")));
    trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    trawlix.traceOn();
    QStringList arguments;
    if (row.https) {
        const QString keyLog = dir.filePath(QStringLiteral("keys.log"));
        arguments << QStringLiteral("--keylog") << keyLog;
        trawlix.setEnvironment(QStringLiteral("CURL_CA_BUNDLE"), site.authority());
        browser.setKeyLog(keyLog);
        browser.setAuthority(site.authority());
    }
    ASSERT_TRUE(trawlix.startCapture(arguments)) << trawlix.output().toStdString();

    ASSERT_TRUE(browser.load(site.url(QStringLiteral("/watch/index.html")), 10000)) << browser.error().toStdString();
    const QString address = site.url(manifest);
    const bool placed = trawlix.waitForDownload(address, 90000);
    trawlix.stop();
    const QByteArray output = trawlix.output();
    ASSERT_TRUE(placed) << output.toStdString();

    // Shown once, marked, with its manifest's address; no segment or playlist of it shows.
    const QByteArray mark = isHls(row.kind) ? "[HLS] " : "[DASH] ";
    EXPECT_EQ(BuiltProgram::downloadRows(output, address), 1) << output.toStdString();
    EXPECT_TRUE(output.contains("]: " + mark + address.toUtf8() + ' ')) << output.toStdString();
    EXPECT_FALSE(output.contains("]: " + site.url(QStringLiteral("/stream/")).toUtf8())) << output.toStdString();
    EXPECT_TRUE(output.contains("library: " + title + '\t')) << output.toStdString();

    const QString base = BuiltProgram::downloadBase(output, address);
    ASSERT_FALSE(base.isEmpty()) << output.toStdString();
    const QStringList files = QDir(trawlix.data(QStringLiteral("Videos"))).entryList({base + QStringLiteral(".*")});
    ASSERT_EQ(files.size(), 1) << output.toStdString();
    const MediaFixture::Inspection programme =
        MediaFixture::inspect(trawlix.data(QStringLiteral("Videos/") + files.first()));
    EXPECT_NEAR(programme.duration, kProgramme.seconds, kSegmentSeconds);
    EXPECT_EQ(programme.streams, "video 640x360\naudio\n");
    EXPECT_EQ(programme.errors, QByteArray());

    // The player did play the small variant (the program asks for the best one only).
    site.stop(); // flushes the log
    if (row.kind == Kind::HlsTwoVariants) {
        QFile log(site.accessLog());
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_TRUE(log.readAll().contains("GET /stream/stream_1.m3u8 ")) << "the player chose another variant";
    }

    const QString host = QStringLiteral("127.0.0.1:%1").arg(site.port());
    QFile icon(trawlix.data(QStringLiteral("FavIcons/") + host));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly)) << "no site icon";
    EXPECT_TRUE(icon.readAll() == site.read(QStringLiteral("favicon.ico"))) << "the icon is not the site's";
}

INSTANTIATE_TEST_SUITE_P(Players,
                         StreamEndToEnd,
                         ::testing::Values(StreamCase{"HlsTwoVariants", Kind::HlsTwoVariants, false, 8080},
                                           StreamCase{"HlsFragmented", Kind::HlsFragmented, false, 0},
                                           StreamCase{"HlsAes128", Kind::HlsAes128, false, 8080},
                                           StreamCase{"DashTimeline", Kind::DashTimeline, false, 8080},
                                           StreamCase{"DashSegmentBase", Kind::DashSegmentBase, false, 0},
                                           StreamCase{"HlsTwoVariantsOverHttps", Kind::HlsTwoVariants, true, 0}),
                         [](const ::testing::TestParamInfo<StreamCase>& row) { return std::string(row.param.name); });

} // namespace
