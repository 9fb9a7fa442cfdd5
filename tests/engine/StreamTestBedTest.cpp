// The stream test bed the capture tests stand on: ffmpeg makes an HLS programme in two variants
// and a DASH programme with audio and video apart, nginx serves them with their types, and
// headless Chromium plays each through the real web player (hls.js, dash.js from the npm
// registry, installed by the test command into the build folder). What the player fetched is
// read from nginx's access log.
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/StreamFixture.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct PlayerCase
{
    const char* name;
    const char* page;
    const char* segment; // a part of every segment's path
};

class StreamTestBed : public ::testing::TestWithParam<PlayerCase>
{
};

TEST_P(StreamTestBed, TheWebPlayerFetchesTheProgrammeFromNginx)
{
    const PlayerCase& row = GetParam();
    QTemporaryDir dir;
    TestBrowser browser(TestBrowser::Kind::Chromium, dir.filePath(QStringLiteral("browser")));
    if (!browser.installed())
        TRAWLIX_SKIP_UNLESS_CI("chromium is not installed");
    if (!TestSite::playersInstalled())
        TRAWLIX_SKIP_UNLESS_CI("the web players are not installed (scripts/install-players.sh)");
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");

    TestSite site(dir.filePath(QStringLiteral("site")));
    ASSERT_TRUE(TestSite::copyPlayers(site.www()));
    // A 12 s programme in 2 s segments: HLS in two variants (640x360 and 320x180), DASH with
    // audio and video apart.
    const StreamFixture::Programme programme{12, 2, QSize(640, 360), 0};
    ASSERT_TRUE(StreamFixture::hlsTwoVariants(site.path(QStringLiteral("hls")), programme, QSize(320, 180)));
    ASSERT_TRUE(StreamFixture::dashTimeline(site.path(QStringLiteral("dash")), programme));
    ASSERT_TRUE(site.writePage(QStringLiteral("hls.html"), "An HLS programme",
                               "<script src=\"/hls.min.js\"></script><video id=v muted autoplay></video>"
                               "<script>const hls = new Hls(); hls.loadSource('/hls/master.m3u8');"
                               "hls.attachMedia(document.getElementById('v'));</script>"));
    ASSERT_TRUE(site.writePage(QStringLiteral("dash.html"), "A DASH programme",
                               "<script src=\"/dash.all.min.js\"></script><video id=v muted autoplay></video>"
                               "<script>const p = dashjs.MediaPlayer().create();"
                               "p.initialize(document.getElementById('v'), '/dash/manifest.mpd', true);</script>"));

    site.logRequests();
    ASSERT_TRUE(site.start()) << site.error().toStdString();
    ASSERT_TRUE(browser.load(site.url(QLatin1Char('/') + QLatin1String(row.page)), 12000))
        << browser.error().toStdString();
    site.stop(); // flushes the log

    QFile log(site.accessLog());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray fetched = log.readAll();
    EXPECT_TRUE(fetched.contains(row.name == std::string("hls") ? "/hls/master.m3u8" : "/dash/manifest.mpd"))
        << fetched.toStdString();
    EXPECT_TRUE(fetched.contains(row.segment)) << "the player fetched no segment:\n" << fetched.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Players,
                         StreamTestBed,
                         ::testing::Values(PlayerCase{"hls", "hls.html", "/hls/seg_"},
                                           PlayerCase{"dash", "dash.html", "/dash/chunk-stream"}),
                         [](const ::testing::TestParamInfo<PlayerCase>& row) { return std::string(row.param.name); });

} // namespace
