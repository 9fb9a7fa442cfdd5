// The stream test bed the capture tests stand on: ffmpeg makes an HLS programme in two variants
// and a DASH programme with audio and video apart, nginx serves them with their types, and
// headless Chromium plays each through the real web player (hls.js, dash.js from the npm
// registry, installed by the test command into the build folder). What the player fetched is
// read from nginx's access log.
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kPlayers = QStringLiteral(TRAWLIX_BINARY_DIR "/players/node_modules");

// nginx's stock types lack the stream types.
const QString kStreamTypes = QStringLiteral("types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; "
                                            "application/dash+xml mpd; video/iso.segment m4s; video/mp4 mp4; "
                                            "text/html html; application/javascript js; }\n");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A 12 s programme cut into 2 s segments on keyframes: two HLS variants (320x180 and
// 640x360) with a master playlist, in hls/.
bool makeHls(const QString& folder)
{
    QDir().mkpath(folder);
    return MediaFixture::make(folder + QStringLiteral("/stream_%v.m3u8"),
                              {QStringLiteral("-f"),
                               QStringLiteral("lavfi"),
                               QStringLiteral("-i"),
                               QStringLiteral("testsrc=duration=12:size=640x360:rate=25"),
                               QStringLiteral("-f"),
                               QStringLiteral("lavfi"),
                               QStringLiteral("-i"),
                               QStringLiteral("sine=duration=12"),
                               QStringLiteral("-filter_complex"),
                               QStringLiteral("[0:v]split=2[a][b];[b]scale=320:180[small]"),
                               QStringLiteral("-map"),
                               QStringLiteral("[a]"),
                               QStringLiteral("-map"),
                               QStringLiteral("1:a"),
                               QStringLiteral("-map"),
                               QStringLiteral("[small]"),
                               QStringLiteral("-map"),
                               QStringLiteral("1:a"),
                               QStringLiteral("-c:v"),
                               QStringLiteral("libx264"),
                               QStringLiteral("-pix_fmt"),
                               QStringLiteral("yuv420p"),
                               QStringLiteral("-g"),
                               QStringLiteral("50"),
                               QStringLiteral("-keyint_min"),
                               QStringLiteral("50"),
                               QStringLiteral("-sc_threshold"),
                               QStringLiteral("0"),
                               QStringLiteral("-c:a"),
                               QStringLiteral("aac"),
                               QStringLiteral("-f"),
                               QStringLiteral("hls"),
                               QStringLiteral("-hls_time"),
                               QStringLiteral("2"),
                               QStringLiteral("-hls_playlist_type"),
                               QStringLiteral("vod"),
                               QStringLiteral("-var_stream_map"),
                               QStringLiteral("v:0,a:0 v:1,a:1"),
                               QStringLiteral("-master_pl_name"),
                               QStringLiteral("master.m3u8"),
                               QStringLiteral("-hls_segment_filename"),
                               folder + QStringLiteral("/seg_%v_%03d.ts")});
}

// The same programme as DASH with a segment timeline, video and audio in adaptation sets of
// their own, in dash/.
bool makeDash(const QString& folder)
{
    QDir().mkpath(folder);
    return MediaFixture::make(folder + QStringLiteral("/manifest.mpd"),
                              {QStringLiteral("-f"),
                               QStringLiteral("lavfi"),
                               QStringLiteral("-i"),
                               QStringLiteral("testsrc=duration=12:size=640x360:rate=25"),
                               QStringLiteral("-f"),
                               QStringLiteral("lavfi"),
                               QStringLiteral("-i"),
                               QStringLiteral("sine=duration=12"),
                               QStringLiteral("-map"),
                               QStringLiteral("0:v"),
                               QStringLiteral("-map"),
                               QStringLiteral("1:a"),
                               QStringLiteral("-c:v"),
                               QStringLiteral("libx264"),
                               QStringLiteral("-pix_fmt"),
                               QStringLiteral("yuv420p"),
                               QStringLiteral("-g"),
                               QStringLiteral("50"),
                               QStringLiteral("-keyint_min"),
                               QStringLiteral("50"),
                               QStringLiteral("-sc_threshold"),
                               QStringLiteral("0"),
                               QStringLiteral("-c:a"),
                               QStringLiteral("aac"),
                               QStringLiteral("-f"),
                               QStringLiteral("dash"),
                               QStringLiteral("-seg_duration"),
                               QStringLiteral("2"),
                               QStringLiteral("-use_timeline"),
                               QStringLiteral("1"),
                               QStringLiteral("-use_template"),
                               QStringLiteral("1"),
                               QStringLiteral("-adaptation_sets"),
                               QStringLiteral("id=0,streams=v id=1,streams=a")});
}

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
    if (!QFileInfo::exists(kPlayers + QStringLiteral("/hls.js/dist/hls.min.js")))
        TRAWLIX_SKIP_UNLESS_CI("the web players are not installed (scripts/install-players.sh)");
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");

    const QString www = dir.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www));
    ASSERT_TRUE(QFile::copy(kPlayers + QStringLiteral("/hls.js/dist/hls.min.js"), www + QStringLiteral("/hls.min.js")));
    ASSERT_TRUE(QFile::copy(kPlayers + QStringLiteral("/dashjs/dist/modern/umd/dash.all.min.js"),
                            www + QStringLiteral("/dash.all.min.js")));
    ASSERT_TRUE(makeHls(www + QStringLiteral("/hls")));
    ASSERT_TRUE(makeDash(www + QStringLiteral("/dash")));
    ASSERT_TRUE(writeFile(www + QStringLiteral("/hls.html"),
                          "<!doctype html><html><head><title>An HLS programme</title>"
                          "<script src=\"/hls.min.js\"></script></head><body><video id=v muted autoplay></video>"
                          "<script>const hls = new Hls(); hls.loadSource('/hls/master.m3u8');"
                          "hls.attachMedia(document.getElementById('v'));</script></body></html>"));
    ASSERT_TRUE(writeFile(www + QStringLiteral("/dash.html"),
                          "<!doctype html><html><head><title>A DASH programme</title>"
                          "<script src=\"/dash.all.min.js\"></script></head><body><video id=v muted autoplay></video>"
                          "<script>const p = dashjs.MediaPlayer().create();"
                          "p.initialize(document.getElementById('v'), '/dash/manifest.mpd', true);</script>"
                          "</body></html>"));

    NginxServer nginx(www);
    const QString accessLog = dir.filePath(QStringLiteral("access.log"));
    nginx.setServerDirectives(kStreamTypes + QStringLiteral("access_log %1;\n").arg(accessLog));
    ASSERT_TRUE(nginx.start()) << nginx.error().toStdString();
    ASSERT_TRUE(browser.load(nginx.url(QLatin1Char('/') + QLatin1String(row.page)), 12000))
        << browser.error().toStdString();
    nginx.stop(); // flushes the log

    QFile log(accessLog);
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
