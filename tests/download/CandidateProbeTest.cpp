#include "download/CandidateProbe.h"
#include "download/CookieJar.h"
#include "download/WebPage.h"
#include "support/DownloadTestBed.h"
#include "support/FaultServer.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

class CandidateProbeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        CookieJar::instance().clear();
        probe.setAccelerator([this] { return accelerator; });
    }

    // A media route whose body is size bytes of noise.
    void media(const QByteArray& path, qint64 size, bool ranges = true)
    {
        FaultServer::Route route;
        route.body = DownloadTestBed::randomBytes(size, quint32(size));
        route.honourRanges = ranges;
        server.setRoute(path, route);
    }

    qsizetype candidate(const QString& path, const QString& base, const QString& extension = u".mp4"_qs)
    {
        return bed.addRecord(server.url(path), base, extension);
    }

    // The part numbers the workers asked for, from the ranges the server saw.
    QList<QByteArray> rangesAskedFor(const QByteArray& path) const
    {
        QList<QByteArray> ranges;
        for (const FaultServer::Request& request : server.requestsFor(path)) {
            const QByteArray range = request.headers.value("range");
            if (range != "bytes=10-")
                ranges.append(range.isEmpty() ? QByteArray("whole") : range);
        }
        std::sort(ranges.begin(), ranges.end());
        return ranges;
    }

    DownloadTestBed bed;
    FaultServer server;
    CandidateProbe probe{bed.videoFiles, *bed.rows, *bed.workers};
    bool accelerator = true;
};

TEST_F(CandidateProbeTest, AcceptanceBySizeStatusAndExtension)
{
    struct Case
    {
        const char* what;
        QByteArray path;
        qint64 size;
        bool ranges;
        QString extension;
        bool accepted;
        qint64 total;
    };
    const Case cases[] = {
        // A 206 answer reports ten bytes less than the file has.
        {"206 with 49990 reports 50000", "/a.mp4", 50000, true, u".mp4"_qs, true, 50000},
        {"206 with 49989 reports 49999", "/b.mp4", 49999, true, u".mp4"_qs, false, 0},
        {"200 taken as sent", "/c.mp4", 50001, false, u".mp4"_qs, true, 50001},
        {"200 with 49999 refused", "/d.mp4", 49999, false, u".mp4"_qs, false, 0},
        {"fragments are never announced", "/e.f4f", 300000, true, u".f4f"_qs, false, 0},
    };
    QString base = u"1700000100"_qs;
    for (const Case& c : cases) {
        media(c.path, c.size, c.ranges);
        const qsizetype index = candidate(QString::fromLatin1(c.path), base, c.extension);
        probe.probe(index);
        ASSERT_TRUE(bed.waitForWorkers());
        const VideoFile record = bed.record(index);
        EXPECT_EQ(record.state, VideoFile::State::Old) << c.what;
        const QStringList events = bed.list.events();
        const bool announced = std::any_of(events.cbegin(), events.cend(), [index](const QString& e) {
            return e.startsWith(u"insert %1 "_qs.arg(index));
        });
        EXPECT_EQ(announced, c.accepted) << c.what;
        EXPECT_EQ(c.accepted ? record.totalBytes : qint64(0), c.total) << c.what;
        if (c.accepted) {
            EXPECT_EQ(record.receivedBytes, c.total) << c.what;
        }
        base = QString::number(base.toLongLong() + 1);
    }
}

TEST_F(CandidateProbeTest, RejectedAnswersStayOld)
{
    FaultServer::Route missing;
    missing.status = 404;
    missing.body = QByteArray(100000, 'x');
    server.setRoute("/missing.mp4", missing);
    FaultServer::Route noLength;
    noLength.body = QByteArray(100000, 'x');
    noLength.omitLength = true;
    server.setRoute("/nolength.mp4", noLength);

    const qsizetype a = candidate(u"/missing.mp4"_qs, u"1700000200"_qs);
    const qsizetype b = candidate(u"/nolength.mp4"_qs, u"1700000201"_qs);
    const qsizetype c = bed.addRecord(u"not a url"_qs, u"1700000202"_qs);
    const qsizetype d = bed.addRecord(u"http://127.0.0.1:9/refused.mp4"_qs, u"1700000203"_qs);
    probe.pass();
    ASSERT_TRUE(bed.waitForWorkers());
    for (qsizetype index : {a, b, c, d}) {
        EXPECT_EQ(bed.record(index).state, VideoFile::State::Old) << index;
        EXPECT_EQ(bed.record(index).totalBytes, 0) << index;
    }
    EXPECT_EQ(bed.rows->count(), 0);
    EXPECT_EQ(bed.list.flashes(), 0);
}

TEST_F(CandidateProbeTest, WorkersByRangesAcceleratorAndAudio)
{
    struct Case
    {
        const char* what;
        QByteArray path;
        bool ranges;
        bool acceleratorOn;
        QString extension;
        QList<QByteArray> parts;
    };
    const QList<QByteArray> four = {"bytes=0-25000", "bytes=25001-50000", "bytes=50001-75000", "bytes=75001-"};
    const Case cases[] = {
        {"four parts", "/four.mp4", true, true, u".mp4"_qs, four},
        {"server ignores ranges", "/single.mp4", false, true, u".mp4"_qs, {"whole"}},
        {"accelerator off", "/off.mp4", true, false, u".mp4"_qs, {"whole"}},
        {"mp3 with 206", "/song.mp3", true, true, u".mp3"_qs, {"whole"}},
        {"m4a with 206", "/song.m4a", true, true, u".m4a"_qs, {"whole"}},
    };
    qint64 size = 100000;
    qint64 base = 1700000300;
    for (const Case& c : cases) {
        // Sizes differ so that no candidate is a duplicate of another.
        media(c.path, size, c.ranges);
        accelerator = c.acceleratorOn;
        const qsizetype index = candidate(QString::fromLatin1(c.path), QString::number(base++), c.extension);
        probe.probe(index);
        ASSERT_TRUE(bed.waitForWorkers());
        EXPECT_EQ(rangesAskedFor(c.path), c.parts) << c.what;
        EXPECT_EQ(bed.record(index).receivedBytes, size) << c.what;
        ++size;
    }
    EXPECT_EQ(bed.assemblies.load(), 5);
}

TEST_F(CandidateProbeTest, DuplicatesBySize)
{
    media("/first.mp4", 120000);
    media("/second.mp4", 120000);
    const qsizetype first = candidate(u"/first.mp4"_qs, u"1700000400"_qs);
    const qsizetype second = candidate(u"/second.mp4"_qs, u"1700000401"_qs);
    probe.pass();
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.record(first).totalBytes, 120000);
    EXPECT_EQ(bed.record(second).totalBytes, 0);
    EXPECT_EQ(bed.record(second).state, VideoFile::State::Old);
    EXPECT_EQ(rangesAskedFor("/second.mp4").size(), 0); // probed, never downloaded
    EXPECT_EQ(server.requestsFor("/second.mp4").size(), 1);
}

TEST_F(CandidateProbeTest, CookiesAndHeadersAreReplayed)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(200000, 11);
    route.requireCookie = "session=abc123";
    server.setRoute("/private.mp4", route);
    const qsizetype index = candidate(u"/private.mp4"_qs, u"1700000500"_qs);
    bed.videoFiles.update(index, [](VideoFile& r) {
        r.cookie = u"session=abc123; theme=dark;  ; after=empty; flag"_qs;
        r.userAgent = u"Mozilla/5.0 Test"_qs;
        r.referer = u"http://127.0.0.1/watch"_qs;
        r.accept = u"*/*"_qs;
        r.acceptLanguage = u"ru-RU"_qs;
        r.acceptEncoding = u"identity"_qs;
        r.connection = u"keep-alive"_qs;
    });
    probe.probe(index);
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.record(index).receivedBytes, 200000);
    EXPECT_EQ(bed.assemblies.load(), 1);

    const auto requests = server.requestsFor("/private.mp4");
    ASSERT_EQ(requests.size(), 5); // the probe and four parts
    for (const FaultServer::Request& request : requests) {
        const auto& headers = request.headers;
        EXPECT_EQ(headers.value("user-agent"), QByteArray("Mozilla/5.0 Test"));
        EXPECT_EQ(headers.value("referer"), QByteArray("http://127.0.0.1/watch"));
        EXPECT_EQ(headers.value("accept"), QByteArray("*/*"));
        EXPECT_EQ(headers.value("accept-language"), QByteArray("ru-RU"));
        EXPECT_EQ(headers.value("accept-encoding"), QByteArray("identity"));
        EXPECT_EQ(headers.value("connection"), QByteArray("keep-alive"));
        // Cookies up to the first empty piece travel through the store.
        const QByteArray cookie = headers.value("cookie");
        EXPECT_TRUE(cookie.contains("session=abc123")) << cookie.constData();
        EXPECT_TRUE(cookie.contains("theme=dark")) << cookie.constData();
        EXPECT_FALSE(cookie.contains("after")) << cookie.constData();
    }
    EXPECT_EQ(requests.first().headers.value("range"), QByteArray("bytes=10-"));
}

TEST_F(CandidateProbeTest, CookiesSetByTheServerReachTheParts)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(150000, 12);
    route.setCookie = "token=fromserver; Path=/";
    server.setRoute("/set.mp4", route);
    const qsizetype index = candidate(u"/set.mp4"_qs, u"1700000501"_qs);
    probe.probe(index);
    ASSERT_TRUE(bed.waitForWorkers());
    const auto requests = server.requestsFor("/set.mp4");
    ASSERT_EQ(requests.size(), 5);
    EXPECT_FALSE(requests.first().headers.contains("cookie"));
    for (qsizetype i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests.at(i).headers.value("cookie"), QByteArray("token=fromserver"));
}

TEST(CandidateProbeNames, DashDisplayNames)
{
    const std::pair<QString, bool> cases[] = {
        {u"http://h/videoplayback?itag=137&x=1"_qs, true},
        {u"http://h/videoplayback?id=5&itag=101"_qs, true},
        {u"http://h/videoplayback?itag=100"_qs, false},
        {u"http://h/videoplayback?itag=22&clen=9"_qs, false},
        {u"http://h/videoplayback?xitag=300"_qs, false},
        {u"http://h/videoplayback?itag=abc"_qs, false},
        {u"http://h/videoplayback?itag=140abc"_qs, true},
        {u"http://h/video?itag=300"_qs, false},
        {u"http://h/videoplayback?itag=99999999999999999999"_qs, true},
    };
    for (const auto& [url, dash] : cases) {
        const QString name = CandidateProbe::displayName(url);
        EXPECT_EQ(name, dash ? u"YouTube DASH A/V segment of: "_qs + url : url) << url.toStdString();
    }
}

TEST(CandidateProbeNames, PlainHistoryEntries)
{
    EXPECT_TRUE(CandidateProbe::isPlainHistoryEntry(u"http://site/page.html"_qs));
    EXPECT_TRUE(CandidateProbe::isPlainHistoryEntry(u"https://www.youtube.com/watch?v=abc&t=1"_qs));
    for (const QString& entry : {u"http://s/p?x=1"_qs, u"http://s/a&b"_qs, u"http://s/%20"_qs, u"http://s/a;b"_qs})
        EXPECT_FALSE(CandidateProbe::isPlainHistoryEntry(entry)) << entry.toStdString();
}

TEST_F(CandidateProbeTest, TitleFromAnHtmlPageAndTheSiteIcon)
{
    media("/clip.mp4", 90000);
    bed.removeRowOnAssembly = false; // keep the row for the title that comes after the bytes
    FaultServer::Route page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><head><TITLE>Kitten &amp; Yarn  &ndash; Видео</TITLE></head></html>";
    server.setRoute("/watch/kitten.html", page);
    FaultServer::Route icon;
    icon.contentType = "image/x-icon";
    icon.body = DownloadTestBed::randomBytes(1500, 13);
    server.setRoute("/favicon.ico", icon);

    const qsizetype index = candidate(u"/clip.mp4"_qs, u"1700000600"_qs);
    const QString pageUrl = server.url(u"/watch/kitten.html"_qs);
    bed.videoFiles.update(index, [&pageUrl](VideoFile& r) {
        r.pageAddress = pageUrl;
        r.referer = pageUrl;
    });
    probe.probe(index);
    ASSERT_TRUE(bed.waitForWorkers());
    const QString title = u"Kitten & Yarn - Видео"_qs;
    EXPECT_EQ(bed.record(index).title, title);
    EXPECT_EQ(bed.record(index).pageAddress, pageUrl);
    EXPECT_TRUE(bed.list.events().contains(u"name %1 %2"_qs.arg(index).arg(title)));

    const QString host = u"127.0.0.1:%1"_qs.arg(server.port());
    EXPECT_TRUE(WebPage::iconPresent(host));
    QFile file(WebPage::iconPath(host));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), icon.body);
    EXPECT_EQ(bed.list.icon(index), WebPage::iconPath(host));
    // The page and icon requests name the program, not the browser.
    EXPECT_EQ(server.requestsFor("/favicon.ico").first().headers.value("user-agent"), QByteArray("Trawlix"));
}

TEST_F(CandidateProbeTest, TitleFromTheRequestHistory)
{
    // The page address is not HTML (a player); the history holds the page that mentions the
    // Referer's last segment.
    media("/dash/videoplayback", 95000);
    bed.removeRowOnAssembly = false;
    FaultServer::Route player;
    player.contentType = "application/x-shockwave-flash";
    player.body = "FWS";
    server.setRoute("/player.swf", player);
    FaultServer::Route other;
    other.contentType = "text/html";
    other.body = "<title>Unrelated</title>";
    server.setRoute("/news", other);
    FaultServer::Route watch;
    watch.contentType = "text/html";
    watch.body = "<title>The right page</title><embed src=\"/player.swf\">";
    server.setRoute("/watch", watch);

    const qsizetype index = candidate(u"/dash/videoplayback?itag=137"_qs, u"1700000700"_qs);
    const QString player_ = server.url(u"/player.swf"_qs);
    const QString history = server.url(u"/news"_qs) + u"^"_qs + server.url(u"/watch"_qs) + u"^"_qs;
    bed.videoFiles.update(index, [&](VideoFile& r) {
        r.pageAddress = player_;
        r.referer = player_;
        r.history = history;
    });
    probe.probe(index);
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.record(index).title, u"The right page"_qs);
    EXPECT_EQ(bed.record(index).pageAddress, server.url(u"/watch"_qs));
    EXPECT_TRUE(bed.list.events().contains(u"name %1 YouTube DASH A/V segment of: The right page"_qs.arg(index)));
}

} // namespace
