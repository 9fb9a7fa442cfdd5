#include "AnalyserHarness.h"

#include <gtest/gtest.h>

namespace {

using Lookup = RequestAnalyser::Lookup;

QByteArray numberedRequest(int i)
{
    return browserRequest("/r" + QByteArray::number(i) + ".mp4");
}

// The segment that completes one of them.
const QByteArray kLastLine = "X-Last: 1\r\n\r\n";

// The first segment of a request that never finishes, `sequence` apart from its neighbours.
QByteArray firstHalf(int i)
{
    return numberedRequest(i).chopped(2);
}

class AnalyserBounds : public testing::TestWithParam<Lookup>
{
};

// One port pair holds at most kUnfinishedPerPort requests waiting for more segments: a new one
// drops the oldest, which no later segment completes.
TEST_P(AnalyserBounds, UnfinishedRequestsOfOnePortDropTheOldestFirst)
{
    AnalyserHarness h(GetParam());
    const int count = RequestAnalyser::kUnfinishedPerPort + 1;
    for (int i = 0; i < count; ++i)
        h.sendRequest(firstHalf(i), quint32(i) * 100000);
    for (int i = 0; i < count; ++i)
        h.sendRequest(kLastLine, quint32(i) * 100000 + quint32(firstHalf(i).size()));
    ASSERT_EQ(h.gets.size(), count);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(h.gets.at(i)->complete, i > 0) << i;
}

// An unfinished request is joinable for kContinuationFrames frames after it was seen, even
// when newer unfinished requests keep the window open.
TEST_P(AnalyserBounds, UnfinishedRequestsAgeOut)
{
    AnalyserHarness h(GetParam());
    h.sendRequest(firstHalf(0), 1000, 40000);
    h.sendFiller(RequestAnalyser::kContinuationFrames - 1);
    h.sendRequest(firstHalf(1), 900000, 40001); // reopens the window
    h.sendRequest(kLastLine, 1000 + quint32(firstHalf(0).size()), 40000);
    h.sendRequest(kLastLine, 900000 + quint32(firstHalf(1).size()), 40001);
    EXPECT_FALSE(h.gets.at(0)->complete);
    EXPECT_TRUE(h.gets.at(1)->complete);
}

TEST_P(AnalyserBounds, RequestStillMatchedAfterManyUnfinishedOnOtherPorts)
{
    AnalyserHarness h(GetParam());
    for (int i = 0; i < 6000; ++i)
        h.sendRequest(firstHalf(i), quint32(i) * 7919, quint16(20000 + i));
    const QByteArray whole = browserRequest("/late.mp4", {"Cookie: c=9"});
    const qsizetype cut = whole.indexOf("Accept");
    h.sendRequest(whole.left(cut), 5000, 45000);
    h.sendRequest(whole.mid(cut), 5000 + quint32(cut), 45000);
    h.sendMediaResponse("video/mp4", 45000);
    const QList<VideoFile> records = h.candidates();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.at(0).url, u"http://media.test:8080/late.mp4"_qs);
    EXPECT_EQ(records.at(0).cookie, u"c=9"_qs);
    EXPECT_LE(h.gets.size(), RequestAnalyser::kRequestsKept);
}

// The request array keeps the newest kRequestsKept requests, oldest dropped first, and stays
// usable for the requests after the drop.
TEST_P(AnalyserBounds, RequestArrayKeepsTheNewest)
{
    AnalyserHarness h(GetParam());
    const int count = int(RequestAnalyser::kRequestsKept) + 300;
    for (int i = 0; i < count; ++i)
        h.sendRequest(numberedRequest(i), quint32(i), quint16(10000 + i % 20000));
    ASSERT_EQ(h.gets.size(), RequestAnalyser::kRequestsKept);
    EXPECT_EQ(h.gets.at(0)->requestText, QString::fromLatin1(numberedRequest(300)));
    EXPECT_EQ(h.gets.at(h.gets.size() - 1)->requestText, QString::fromLatin1(numberedRequest(count - 1)));

    // Split after the drop: the continuation updates the right record.
    const QByteArray whole = numberedRequest(count);
    h.sendRequest(whole.left(20), 77, 44444);
    h.sendRequest(whole.mid(20), 77 + 20, 44444);
    EXPECT_EQ(h.gets.at(h.gets.size() - 1)->requestText, QString::fromLatin1(whole));
    EXPECT_TRUE(h.gets.at(h.gets.size() - 1)->complete);
}

// A keep-alive connection gives at most kRequestsPerPort requests, newest first.
TEST_P(AnalyserBounds, OnePortGivesItsNewestRequests)
{
    AnalyserHarness h(GetParam());
    const int count = RequestAnalyser::kRequestsPerPort + 30;
    for (int i = 0; i < count; ++i)
        h.sendRequest(numberedRequest(i), quint32(i) * 1000);
    h.sendMediaResponse("video/mp4");
    const QStringList urls = h.urls();
    ASSERT_EQ(urls.size(), RequestAnalyser::kRequestsPerPort);
    EXPECT_EQ(urls.first(), QStringLiteral("http://media.test:8080/r%1.mp4").arg(count - 1));
    EXPECT_EQ(urls.last(),
              QStringLiteral("http://media.test:8080/r%1.mp4").arg(count - RequestAnalyser::kRequestsPerPort));
}

// 200 pages on one keep-alive connection: each page records the port's requests again. The
// history stays bounded and a candidate still gets the newest 51 entries.
TEST_P(AnalyserBounds, PageHistoryIsBounded)
{
    AnalyserHarness h(GetParam());
    for (int i = 0; i < 200; ++i) {
        h.sendRequest(FrameBuilder::requestText("/p" + QByteArray::number(i) + ".html", {"Host: site.test"}),
                      quint32(i) * 1000);
        h.sendResponse(FrameBuilder::responseText({"Content-Type: text/html"}));
    }
    EXPECT_LE(h.history.size(), RequestAnalyser::kHistoryKept);
    h.sendRequest(browserRequest("/v.mp4"), 999999, 40001);
    h.sendMediaResponse("video/mp4", 40001);
    QString expected;
    for (int i = 199; i > 199 - RequestAnalyser::kHistoryEntries; --i)
        expected += QStringLiteral("http://site.test/p%1.html^").arg(i);
    EXPECT_EQ(h.candidates().value(0).history, expected);
}

// Candidates caught between two page visits share one history text; a page visited between
// two candidates, or one that falls out of the newest 51, shows in the next candidate's text.
TEST_P(AnalyserBounds, HistoryFollowsEachNewPage)
{
    AnalyserHarness h(GetParam());
    // Each visit on a port of its own: a page response records every request of its port.
    const auto visit = [&h](int page, quint16 client) {
        h.sendRequest(FrameBuilder::requestText("/p" + QByteArray::number(page) + ".html", {"Host: site.test"}),
                      quint32(page) * 1000, client);
        h.sendResponse(FrameBuilder::responseText({"Content-Type: text/html"}), client);
    };
    const auto catchMedia = [&h](int media) {
        const auto client = quint16(41000 + media);
        h.sendRequest(browserRequest("/v" + QByteArray::number(media) + ".mp4"), 7000, client);
        h.sendMediaResponse("video/mp4", client);
    };
    const auto expected = [](int newest, int count) {
        QString text;
        for (int i = newest; i > newest - count; --i)
            text += QStringLiteral("http://site.test/p%1.html^").arg(i);
        return text;
    };
    catchMedia(0); // no page yet
    for (int i = 0; i < RequestAnalyser::kHistoryEntries; ++i)
        visit(i, quint16(30000 + i));
    catchMedia(1);
    catchMedia(2);
    visit(RequestAnalyser::kHistoryEntries, 39000); // the oldest of the 51 drops out
    catchMedia(3);
    // The same address again: the list's size changes while the newest entry stays the same.
    visit(RequestAnalyser::kHistoryEntries, 39001);
    catchMedia(4);

    const QList<VideoFile> candidates = h.candidates();
    ASSERT_EQ(candidates.size(), 5);
    EXPECT_EQ(candidates[0].history, QString());
    EXPECT_EQ(candidates[1].history, expected(RequestAnalyser::kHistoryEntries - 1, RequestAnalyser::kHistoryEntries));
    EXPECT_EQ(candidates[2].history, candidates[1].history);
    EXPECT_EQ(candidates[3].history, expected(RequestAnalyser::kHistoryEntries, RequestAnalyser::kHistoryEntries));
    EXPECT_EQ(candidates[4].history,
              QStringLiteral("http://site.test/p%1.html^").arg(RequestAnalyser::kHistoryEntries) +
                  expected(RequestAnalyser::kHistoryEntries, RequestAnalyser::kHistoryEntries - 1));
}

// Continuation segments stop adding once the request text holds kLongestRequest bytes.
TEST_P(AnalyserBounds, RequestTextIsBounded)
{
    AnalyserHarness h(GetParam());
    QByteArray sent = "GET /long.mp4 HTTP/1.1\r\nHost: a.test\r\nX-Pad: ";
    h.sendRequest(sent, 0);
    for (int i = 0; i < 60; ++i) {
        const QByteArray piece(1400, 'p');
        h.sendRequest(piece, quint32(sent.size()));
        sent += piece;
    }
    ASSERT_EQ(h.gets.size(), 1);
    EXPECT_LE(h.gets.at(0)->requestText.size(), RequestAnalyser::kLongestRequest);
    EXPECT_GT(h.gets.at(0)->requestText.size(), RequestAnalyser::kLongestRequest - 1500);
}

INSTANTIATE_TEST_SUITE_P(Lookups, AnalyserBounds, testing::Values(Lookup::Indexed, Lookup::Walk));

} // namespace
