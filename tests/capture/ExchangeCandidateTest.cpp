// Decoded exchanges (HTTPS, or HTTP read by the wire decoder) meet the same candidate rules as
// captured frames: the same media table and switches, the same history, the same duplicate
// test and base names, the same replayed headers.
#include "AnalyserHarness.h"
#include "wire/HttpExchange.h"

#include <gtest/gtest.h>

namespace {

HttpExchange exchange(const std::string& path, const std::string& contentType, int status = 200)
{
    HttpExchange result;
    result.protocol = HttpExchange::Protocol::Http2;
    result.encrypted = true;
    result.method = "GET";
    result.scheme = "https";
    result.authority = "media.test:8443";
    result.path = path;
    result.requestHeaders = {{"user-agent", "TestBrowser/2.0"},
                             {"accept", "*/*"},
                             {"accept-language", "en"},
                             {"accept-encoding", "identity;q=1, *;q=0"},
                             {"referer", "https://media.test:8443/watch.html"},
                             {"cookie", "a=1; b=2"}};
    result.status = status;
    if (!contentType.empty())
        result.responseHeaders = {{"content-type", contentType}, {"content-length", "1000"}};
    return result;
}

TEST(ExchangeCandidates, AnHttpsVideoBecomesACandidateWithTheRequestHeaders)
{
    AnalyserHarness h;
    h.analyser.analyseExchange(exchange("/watch.html", "text/html; charset=utf-8"));
    h.analyser.analyseExchange(exchange("/clip.mp4?t=1", "video/mp4"));
    const QList<VideoFile> list = h.candidates();
    ASSERT_EQ(list.size(), 1);
    const VideoFile& record = list.front();
    EXPECT_EQ(record.url, QStringLiteral("https://media.test:8443/clip.mp4?t=1"));
    EXPECT_EQ(record.extension, QStringLiteral(".mp4"));
    EXPECT_EQ(record.state, VideoFile::State::New);
    EXPECT_EQ(record.userAgent, QStringLiteral("TestBrowser/2.0"));
    EXPECT_EQ(record.accept, QStringLiteral("*/*"));
    EXPECT_EQ(record.acceptLanguage, QStringLiteral("en"));
    EXPECT_EQ(record.acceptEncoding, QStringLiteral("identity;q=1, *;q=0"));
    EXPECT_EQ(record.cookie, QStringLiteral("a=1; b=2"));
    EXPECT_EQ(record.pageAddress, QStringLiteral("https://media.test:8443/watch.html"));
    EXPECT_EQ(record.history, QStringLiteral("https://media.test:8443/watch.html^"));
    EXPECT_EQ(record.baseName, QString::number(AnalyserHarness::kNow));
    EXPECT_EQ(h.detected.load(), 1);
}

TEST(ExchangeCandidates, RangeAnswersCountAndRepeatsAreOneCandidate)
{
    AnalyserHarness h;
    // A player fetches the same clip in ranges: the first 206 makes the candidate, the rest are
    // duplicates by address.
    h.analyser.analyseExchange(exchange("/clip.webm", "video/webm", 206));
    h.analyser.analyseExchange(exchange("/clip.webm", "video/webm", 206));
    h.analyser.analyseExchange(exchange("/clip.webm", "video/webm", 200));
    // The same address over plain HTTP is another address.
    HttpExchange plain = exchange("/clip.webm", "video/webm");
    plain.scheme = "http";
    h.analyser.analyseExchange(plain);
    EXPECT_EQ(h.urls(), QStringList({QStringLiteral("https://media.test:8443/clip.webm"),
                                     QStringLiteral("http://media.test:8443/clip.webm")}));
    EXPECT_EQ(h.candidates().at(1).baseName, QString::number(AnalyserHarness::kNow + 1));
}

TEST(ExchangeCandidates, WhatGivesNoCandidate)
{
    AnalyserHarness h;
    HttpExchange post = exchange("/upload.mp4", "video/mp4");
    post.method = "POST";
    h.analyser.analyseExchange(post);
    h.analyser.analyseExchange(exchange("/moved.mp4", "video/mp4", 302));
    h.analyser.analyseExchange(exchange("/missing.mp4", "video/mp4", 404));
    h.analyser.analyseExchange(exchange("/untyped.mp4", ""));
    h.analyser.analyseExchange(exchange("/feed.xml", "video/mp4"));
    h.analyser.analyseExchange(exchange("/videoplayback?id=1", "video/mp4"));
    h.analyser.analyseExchange(exchange("/image.png", "image/png"));
    // A target the decoder let through with a blank or control byte is no address.
    h.analyser.analyseExchange(exchange("/a b.mp4", "video/mp4"));
    h.analyser.analyseExchange(exchange("/a\r\nX: y.mp4", "video/mp4"));
    h.analyser.analyseExchange(exchange("no-slash.mp4", "video/mp4"));
    HttpExchange hostile = exchange("/long.mp4", "video/mp4");
    hostile.authority = std::string(RequestAnalyser::kLongestRequest, 'a');
    h.analyser.analyseExchange(hostile);
    HttpExchange site = exchange("/clip.mp4", "video/mp4");
    site.authority = "www.youtube.com";
    h.analyser.analyseExchange(site);
    EXPECT_TRUE(h.urls().isEmpty()) << h.urls().join(u' ').toStdString();
}

TEST(ExchangeCandidates, TheSwitchesAndTheTableDecideAsForFrames)
{
    AnalyserHarness h;
    h.settings.mp4 = false;
    h.analyser.analyseExchange(exchange("/a.mp4", "video/mp4"));
    h.analyser.analyseExchange(exchange("/a.f4f", "VIDEO/X-F4F"));
    h.analyser.analyseExchange(exchange("/a.bin", "application/octet-stream"));
    h.settings.downloadHttp = false;
    h.analyser.analyseExchange(exchange("/b.webm", "video/webm"));
    h.analyser.analyseExchange(exchange("/song.mp3", "audio/mpeg"));
    h.settings.downloadHttpMusic = false;
    h.analyser.analyseExchange(exchange("/other.mp3", "audio/mpeg"));
    const QList<VideoFile> list = h.candidates();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0).extension, QStringLiteral(".f4f"));
    EXPECT_EQ(list.at(1).extension, QStringLiteral(".bin"));
    EXPECT_EQ(list.at(2).extension, QStringLiteral(".mp3"));
    EXPECT_EQ(list.at(2).title, QStringLiteral("song"));
    EXPECT_TRUE(list.at(2).history.isEmpty());
}

TEST(ExchangeCandidates, ReplayedHeadersAreReadAsFromAFrame)
{
    AnalyserHarness h;
    HttpExchange one = exchange("/a.mp4", "video/mp4");
    // HTTP/1.1 names keep their case; a value with a line break is not replayed.
    one.protocol = HttpExchange::Protocol::Http1;
    one.requestHeaders = {
        {"User-Agent", "  Spaced/1.0\t"}, {"Cookie", "a=1\r\nX-Injected: 1"}, {"Connection", "close"}};
    h.analyser.analyseExchange(one);
    ASSERT_EQ(h.candidates().size(), 1);
    EXPECT_EQ(h.candidates().front().userAgent, QStringLiteral("Spaced/1.0"));
    EXPECT_TRUE(h.candidates().front().cookie.isEmpty());
    EXPECT_EQ(h.candidates().front().connection, QStringLiteral("close"));
}

TEST(ExchangeCandidates, PagesGoToTheHistoryUnlessTheyAreTheProgramsOwn)
{
    AnalyserHarness h;
    h.analyser.analyseExchange(exchange("/one.html", "text/html"));
    h.analyser.analyseExchange(exchange("/style.css", "text/html"));
    HttpExchange own = exchange("/own.html", "text/html");
    own.requestHeaders = {{"user-agent", "Mozilla/5.0 " + Texts::displayName().toStdString()}};
    h.analyser.analyseExchange(own);
    EXPECT_EQ(h.history.snapshot(), QList<QString>({QStringLiteral("https://media.test:8443/one.html")}));
    // The history stays bounded as the frame path keeps it.
    for (int i = 0; i < RequestAnalyser::kHistoryKept + 10; ++i)
        h.analyser.analyseExchange(exchange("/p" + std::to_string(i), "text/html"));
    EXPECT_EQ(h.history.snapshot().size(), RequestAnalyser::kHistoryKept);
}

} // namespace
