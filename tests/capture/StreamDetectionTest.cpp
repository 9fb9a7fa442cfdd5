#include "AnalyserHarness.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kPage = "Referer: http://site.test/watch.html";

QString url(const char* path)
{
    return QStringLiteral("http://media.test:8080") + QLatin1String(path);
}

// One request and its answer on the harness's keep-alive connection.
void exchange(AnalyserHarness& h, const QByteArray& path, const QByteArray& type, const QByteArray& body = {})
{
    h.sendRequest(browserRequest(path, {kPage, "Cookie: session=7"}));
    h.sendResponse(FrameBuilder::responseText({"Content-Type: " + type}) + body);
}

TEST(StreamDetection, ManifestBecomesOneStreamCandidateWithTheBrowsersHeaders)
{
    struct Case
    {
        const char* path;
        const char* type;
        VideoFile::Stream stream;
    };
    for (const Case c : {Case{"/hls/master.m3u8", "application/vnd.apple.mpegurl", VideoFile::Stream::Hls},
                         Case{"/live/x", "Application/X-MpegURL; charset=utf-8", VideoFile::Stream::Hls},
                         Case{"/a/b.m3u8?token=1", "text/plain", VideoFile::Stream::Hls},
                         Case{"/dash/manifest.mpd", "application/dash+xml", VideoFile::Stream::Dash},
                         Case{"/dash/m.MPD", "binary/octet-stream", VideoFile::Stream::Dash}}) {
        SCOPED_TRACE(c.path);
        AnalyserHarness h;
        h.history.append(QStringLiteral("http://site.test/watch.html"));
        exchange(h, c.path, c.type);
        const QList<VideoFile> records = h.candidates();
        ASSERT_EQ(records.size(), 1);
        const VideoFile& r = records.at(0);
        EXPECT_EQ(r.stream, c.stream);
        EXPECT_EQ(r.url, url(c.path));
        EXPECT_EQ(r.state, VideoFile::State::New);
        EXPECT_EQ(r.referer, QStringLiteral("http://site.test/watch.html"));
        EXPECT_EQ(r.pageAddress, r.referer);
        EXPECT_EQ(r.cookie, QStringLiteral("session=7"));
        EXPECT_EQ(r.userAgent, QStringLiteral("TestBrowser/1.0"));
        EXPECT_EQ(r.history, QStringLiteral("http://site.test/watch.html^"));
        EXPECT_EQ(r.title, QStringLiteral("Unnamed media file"));
        EXPECT_EQ(r.extension, QStringLiteral(".mp4"));
        EXPECT_EQ(h.detected.load(), 1);
    }
}

TEST(StreamDetection, NotManifestsAndSwitchedOff)
{
    AnalyserHarness h;
    exchange(h, "/notes.txt", "text/plain");
    exchange(h, "/page.m3u8.html", "text/plain");
    EXPECT_TRUE(h.candidates().isEmpty());
    // Plain octet-stream answers keep their old meaning.
    AnalyserHarness plain;
    exchange(plain, "/file.bin", "application/octet-stream");
    EXPECT_EQ(plain.urls(), QStringList{url("/file.bin")});
    EXPECT_EQ(plain.candidates().at(0).stream, VideoFile::Stream::None);

    AnalyserHarness off;
    off.settings.downloadHttp = false;
    exchange(off, "/hls/master.m3u8", "application/vnd.apple.mpegurl");
    EXPECT_TRUE(off.candidates().isEmpty());
}

TEST(StreamDetection, BareSegmentsAreNeverCandidates)
{
    AnalyserHarness h;
    exchange(h, "/seg/1.ts", "video/MP2T");
    exchange(h, "/seg/1.m4s", "video/iso.segment");
    // Nor do they make the earlier requests of their connection candidates.
    h.sendRequest(browserRequest("/clip-earlier.mp4"));
    exchange(h, "/seg/2.ts", "video/mp2t");
    EXPECT_TRUE(h.candidates().isEmpty());
}

// What a web player fetches for one HLS programme on one connection: the master, the media
// playlists it names (one in another folder), init sections and segments of several types.
TEST(StreamDetection, MasterMediaPlaylistsAndSegmentsAreOneStream)
{
    AnalyserHarness h;
    const QByteArray master = "#EXTM3U\n"
                              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",URI=\"/cdn2/audio/en.m3u8\"\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=640x360,AUDIO=\"a\"\n"
                              "../other/v640.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=400000,RESOLUTION=320x180,AUDIO=\"a\"\n"
                              "v320/index.m3u8\n";
    exchange(h, "/prog/hls/master.m3u8", "application/vnd.apple.mpegurl", master);
    exchange(h, "/prog/other/v640.m3u8", "application/vnd.apple.mpegurl");
    exchange(h, "/cdn2/audio/en.m3u8", "audio/mpegurl");
    exchange(h, "/prog/hls/v320/index.m3u8", "application/x-mpegURL");
    exchange(h, "/prog/hls/v320/init.mp4", "video/mp4");
    exchange(h, "/prog/hls/v320/seg1.m4s", "application/octet-stream");
    exchange(h, "/prog/hls/v320/seg2.ts", "video/mp2t");
    exchange(h, "/prog/hls/master.m3u8", "application/vnd.apple.mpegurl"); // reloaded
    EXPECT_EQ(h.urls(), QStringList{url("/prog/hls/master.m3u8")});
    EXPECT_EQ(h.detected.load(), 1);

    // The same folders from another page, and a file outside the stream's folder, are their own.
    h.sendRequest(browserRequest("/prog/hls/v320/init.mp4", {"Referer: http://other.test/"}));
    h.sendResponse(FrameBuilder::responseText({"Content-Type: video/mp4"}));
    exchange(h, "/prog/extra.mp4", "video/mp4");
    EXPECT_EQ(h.urls(),
              (QStringList{url("/prog/hls/master.m3u8"), url("/prog/hls/v320/init.mp4"), url("/prog/extra.mp4")}));
}

TEST(StreamDetection, DashInitAndSegmentsBelongToTheManifest)
{
    AnalyserHarness h;
    exchange(h, "/dash/manifest.mpd", "application/dash+xml");
    exchange(h, "/dash/init-stream0.m4s", "video/mp4");
    exchange(h, "/dash/chunk-stream0-00001.m4s", "video/iso.segment");
    exchange(h, "/dash/init-stream1.m4s", "audio/mp4");
    const QList<VideoFile> records = h.candidates();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.at(0).stream, VideoFile::Stream::Dash);
    EXPECT_EQ(records.at(0).url, url("/dash/manifest.mpd"));
}

TEST(StreamDetection, Bounds)
{
    // A Content-Type line longer than the bound is not read as a stream type.
    {
        AnalyserHarness h;
        h.sendRequest(browserRequest("/x.m3u8"));
        h.sendResponse(FrameBuilder::responseText(
            {"Content-Type: application/vnd.apple.mpegurl;" + QByteArray(RequestAnalyser::kLongestContentType, 'p')}));
        EXPECT_TRUE(h.candidates().isEmpty());
    }
    // A master naming more playlists than are kept: the rest are not taken as the stream's.
    {
        AnalyserHarness h;
        QByteArray master = "#EXTM3U\n";
        for (int i = 0; i <= RequestAnalyser::kNamedPerStream; ++i)
            master += "#EXT-X-STREAM-INF:BANDWIDTH=1\nhttp://far.test/v" + QByteArray::number(i) + ".m3u8\n";
        exchange(h, "/m/master.m3u8", "application/vnd.apple.mpegurl", master);
        h.sendRequest(browserRequest("/m/x", {kPage}));
        h.sendResponse(FrameBuilder::responseText({"Content-Type: video/mp4"}));
        EXPECT_EQ(h.urls(), QStringList{url("/m/master.m3u8")});
        const QString last = QStringLiteral("http://far.test/v%1.m3u8").arg(RequestAnalyser::kNamedPerStream);
        const QString first = QStringLiteral("http://far.test/v0.m3u8");
        for (const QString& playlist : {first, last}) {
            h.sendRequest(
                FrameBuilder::requestText(playlist.mid(15).toLatin1(), {"Host: far.test", "User-Agent: B", kPage}));
            h.sendResponse(FrameBuilder::responseText({"Content-Type: application/vnd.apple.mpegurl"}));
        }
        EXPECT_EQ(h.urls(), (QStringList{url("/m/master.m3u8"), last}));
    }
    // Only the newest streams are remembered: the oldest one's segments count again.
    {
        AnalyserHarness h;
        for (int i = 0; i <= RequestAnalyser::kStreamsKept; ++i)
            exchange(h, "/s" + QByteArray::number(i) + "/index.m3u8", "application/vnd.apple.mpegurl");
        exchange(h, "/s0/init.mp4", "video/mp4");
        exchange(h, "/s1/init.mp4", "video/mp4");
        const QStringList urls = h.urls();
        EXPECT_TRUE(urls.contains(url("/s0/init.mp4")));
        EXPECT_FALSE(urls.contains(url("/s1/init.mp4")));
    }
}

} // namespace
