#include "download/SegmentedDownload.h"
#include "support/DownloadTestBed.h"
#include "support/FaultServer.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(PartTable, QuartersOfAnOddTotal)
{
    const qint64 total = 1000003; // N = 250000
    const std::pair<int, const char*> expected[] = {
        {0, ""},
        {1, "Range: bytes=0-250000"},
        {2, "Range: bytes=250001-500000"},
        {3, "Range: bytes=500001-750000"},
        {4, "Range: bytes=750001-"},
    };
    for (const auto& [part, header] : expected) {
        const SegmentedDownload::PartRange range = SegmentedDownload::partRange(part, total);
        EXPECT_EQ(range.rangeHeader, QByteArray(header)) << part;
        EXPECT_EQ(range.fileSuffix, part == 0 ? u"_"_qs : u"_"_qs + QString::number(part));
    }
}

TEST(PartTable, ProgressTexts)
{
    const std::tuple<qint64, qint64, const char*> cases[] = {
        {0, 1000, "0%"},
        {999, 1000, "99%"},
        {1000, 1000, "100%"},
        {1999999999, 1999999999, "100%"},
        {1, 2000000000, "Live"},
        {5, 5000000000, "Live"},
        {3000000000, 1999999999, "150%"}, // no overflow in the percentage
    };
    for (const auto& [received, total, text] : cases)
        EXPECT_EQ(SegmentedDownload::progressText(received, total), QString::fromLatin1(text))
            << received << "/" << total;
}

class SegmentedDownloadTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    // A record the probe accepted: state Old, a row, the total known.
    qsizetype accepted(const QString& path, const QString& base, qint64 total)
    {
        const qsizetype index = bed.addRecord(server.url(path), base);
        bed.videoFiles.update(index, [total](VideoFile& r) {
            r.state = VideoFile::State::Old;
            r.totalBytes = total;
        });
        bed.rows->insert(index, server.url(path), base);
        return index;
    }

    void startParts(qsizetype index, std::initializer_list<int> parts)
    {
        const VideoFile copy = bed.record(index);
        for (int part : parts)
            bed.workers->start(index, copy, part);
    }

    QByteArray joinedParts(const QString& base) const
    {
        QByteArray joined;
        for (int part = 1; part <= 4; ++part)
            joined += bed.readTemp(base + u"_"_qs + QString::number(part));
        return joined;
    }

    DownloadTestBed bed;
    FaultServer server;
};

TEST_F(SegmentedDownloadTest, FourPartsFromNginxHoldTheFile)
{
    NginxServer nginx(bed.dataDir() + u"/www"_qs);
    QDir().mkpath(bed.dataDir() + u"/www"_qs);
    const QByteArray body = DownloadTestBed::randomBytes(1000003, 1);
    QFile file(bed.dataDir() + u"/www/video.mp4"_qs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(body);
    file.close();
    if (!nginx.start())
        TRAWLIX_SKIP_UNLESS_CI("nginx is needed for the honest server: " << nginx.error().toStdString());

    const qsizetype index = bed.addRecord(nginx.url(u"/video.mp4"_qs), u"1700000000"_qs);
    bed.videoFiles.update(index, [](VideoFile& r) {
        r.state = VideoFile::State::Old;
        r.totalBytes = 1000003;
    });
    bed.rows->insert(index, u"video"_qs, u"1700000000"_qs);
    startParts(index, {1, 2, 3, 4});
    ASSERT_TRUE(bed.waitForWorkers());

    EXPECT_EQ(bed.readTemp(u"1700000000_1"_qs).size(), 250001);
    EXPECT_EQ(bed.readTemp(u"1700000000_4"_qs).size(), 250002);
    EXPECT_EQ(joinedParts(u"1700000000"_qs), body);
    EXPECT_EQ(bed.record(index).receivedBytes, 1000003);
    EXPECT_EQ(bed.assemblies.load(), 1);
    EXPECT_EQ(bed.assembledIndex.load(), index);
    EXPECT_EQ(bed.list.lastProgress(index), u"100%"_qs);
    EXPECT_FALSE(bed.rows->contains(index));
    EXPECT_EQ(bed.list.captions().constLast(), u"Trawlix"_qs);
}

TEST_F(SegmentedDownloadTest, SinglePartAndReplayedHeaders)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(200000, 2);
    server.setRoute("/whole.mp4", route);
    const qsizetype index = accepted(u"/whole.mp4"_qs, u"1700000001"_qs, 200000);
    bed.videoFiles.update(index, [](VideoFile& r) {
        r.userAgent = u"Browser/1.0"_qs;
        r.referer = u"http://127.0.0.1/page.html"_qs;
        r.accept = u"video/*"_qs;
        r.acceptLanguage = u"en-GB"_qs;
        r.connection = u"keep-alive"_qs;
    });
    startParts(index, {0});
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.readTemp(u"1700000001_"_qs), route.body);
    EXPECT_EQ(bed.assemblies.load(), 1);

    const auto requests = server.requestsFor("/whole.mp4");
    ASSERT_EQ(requests.size(), 1);
    const auto& headers = requests.first().headers;
    EXPECT_FALSE(headers.contains("range"));
    EXPECT_EQ(headers.value("user-agent"), QByteArray("Browser/1.0"));
    EXPECT_EQ(headers.value("referer"), QByteArray("http://127.0.0.1/page.html"));
    EXPECT_EQ(headers.value("accept"), QByteArray("video/*"));
    EXPECT_EQ(headers.value("accept-language"), QByteArray("en-GB"));
    EXPECT_EQ(headers.value("connection"), QByteArray("keep-alive"));
    EXPECT_FALSE(headers.contains("accept-encoding")); // empty fields are not sent
}

TEST_F(SegmentedDownloadTest, AnswersLongerThanThePartAreCutToIt)
{
    // Whatever the server sends, each part file holds exactly its own bytes and the count
    // stops at the total, so the download completes with the right file.
    struct Case
    {
        const char* what;
        qint64 wholeBodyForRangeFrom;
        qint64 overlongBy;
        std::initializer_list<int> parts;
    };
    const Case cases[] = {
        {"200 with the whole file to part 3", 500001, 0, {1, 2, 3, 4}},
        {"206 bodies longer than their ranges", -1, 200000, {1, 2, 3, 4}},
        {"200 longer than the total", -1, 200000, {0}},
    };
    int assemblies = 0;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultServer::Route route;
        route.body = DownloadTestBed::randomBytes(1000003, 3);
        route.wholeBodyForRangeFrom = c.wholeBodyForRangeFrom;
        route.overlongBy = c.overlongBy;
        server.setRoute("/v.mp4", route);
        const QString base = QString::number(1700000020 + n++);
        const qsizetype index = accepted(u"/v.mp4"_qs, base, 1000003);
        startParts(index, c.parts);
        ASSERT_TRUE(bed.waitForWorkers());
        const QByteArray written = c.parts.size() == 1 ? bed.readTemp(base + u"_"_qs) : joinedParts(base);
        EXPECT_EQ(written.size(), route.body.size());
        EXPECT_TRUE(written == route.body);
        EXPECT_EQ(bed.record(index).receivedBytes, 1000003);
        EXPECT_EQ(bed.assemblies.load(), ++assemblies);
        EXPECT_EQ(bed.list.lastProgress(index), u"100%"_qs);
    }
}

TEST_F(SegmentedDownloadTest, A206ForOtherBytesNeverReachesThePart)
{
    // Part 2 of 1000003 bytes asks for 250001-500000. An answer from before the part is cut to
    // it; any other (also one that ends before the part does) is refused before a byte is
    // written, and the download fails at once.
    struct Case
    {
        const char* what;
        qint64 startShift;
        qint64 endShift;
        QByteArray contentRange; // empty: the true one
        QList<QByteArray> extraHeaders;
        bool completes;
    };
    const Case cases[] = {
        {"starts before the part", -1000, 0, {}, {}, true},
        {"starts before and ends after the part", -250001, 4000, {}, {}, true},
        {"starts after the part's start", 1000, 1000, {}, {}, false},
        {"another total", 0, 0, "bytes 250001-500000/1000004", {}, false},
        {"an unknown total", 0, 0, "bytes 250001-500000/*", {}, false},
        {"no Content-Range", 0, 0, "-", {}, false},
        {"no total", 0, 0, "bytes 250001-500000", {}, false},
        {"a start past 64 bits", 0, 0, "bytes 99999999999999999999999-500000/1000003", {}, false},
        {"a second Content-Range", 0, 0, {}, {"Content-Range: bytes 0-249999/1000003"}, false},
        {"ends before the part's end", 0, -1000, {}, {}, false},
        {"starts before and ends before the part's end", -1000, -2000, {}, {}, false},
    };
    int assemblies = 0;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultServer::Route route;
        route.body = DownloadTestBed::randomBytes(1000003, 11);
        route.oddRangeFrom = 250001;
        route.oddStartShift = c.startShift;
        route.oddEndShift = c.endShift;
        route.oddContentRange = c.contentRange;
        route.extraHeaders = c.extraHeaders;
        server.setRoute("/v.mp4", route);
        server.clearRequests();
        const QString base = QString::number(1700000050 + n++);
        const qsizetype index = accepted(u"/v.mp4"_qs, base, 1000003);
        startParts(index, {1, 2, 3, 4});
        ASSERT_TRUE(bed.waitForWorkers());
        const VideoFile record = bed.record(index);
        if (c.completes) {
            EXPECT_TRUE(joinedParts(base) == route.body);
            EXPECT_EQ(record.receivedBytes, 1000003);
            EXPECT_EQ(bed.assemblies.load(), ++assemblies);
            continue;
        }
        EXPECT_TRUE(bed.readTemp(base + u"_2"_qs).isEmpty());
        EXPECT_EQ(record.state, VideoFile::State::Canceled);
        EXPECT_EQ(bed.list.lastProgress(index), u"Conn err"_qs);
        EXPECT_EQ(bed.assemblies.load(), assemblies);
        int partTwoRequests = 0;
        for (const FaultServer::Request& request : server.requestsFor("/v.mp4"))
            partTwoRequests += request.headers.value("range") == "bytes=250001-500000";
        // At most once: where every part is refused (a second Content-Range is sent to all),
        // another part may fail the download before part 2 has asked at all.
        EXPECT_LE(partTwoRequests, 1) << "not tried again";
    }
}

TEST_F(SegmentedDownloadTest, FailedWritesAreNotCounted)
{
    // A part file that cannot take a byte (a full disk: /dev/full) fails the download at once,
    // saying so; the count keeps to the bytes that are in the part files.
    struct Case
    {
        const char* what;
        std::initializer_list<int> parts;
        const char* fullPart;
    };
    const Case cases[] = {{"single part", {0}, "_"}, {"part 2 of 4", {1, 2, 3, 4}, "_2"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultServer::Route route;
        route.body = DownloadTestBed::randomBytes(400003, 10);
        server.setRoute("/v.mp4", route);
        const QString base = QString::number(1700000040 + n++);
        ASSERT_TRUE(QFile::link(u"/dev/full"_qs, bed.tempFile(base + QLatin1String(c.fullPart))));
        const qsizetype index = accepted(u"/v.mp4"_qs, base, 400003);
        startParts(index, c.parts);
        ASSERT_TRUE(bed.waitForWorkers());
        qint64 onDisk = 0;
        for (const QString& suffix : {u"_"_qs, u"_1"_qs, u"_2"_qs, u"_3"_qs, u"_4"_qs})
            onDisk += QFileInfo(bed.tempFile(base + suffix)).size();
        EXPECT_EQ(bed.record(index).receivedBytes, onDisk);
        EXPECT_EQ(bed.record(index).state, VideoFile::State::Canceled);
        EXPECT_EQ(bed.list.lastProgress(index), u"Write err"_qs) << "a full disk is not a time-out";
        EXPECT_EQ(bed.assemblies.load(), 0);
    }
}

TEST_F(SegmentedDownloadTest, TimeOutInPartTwoIsTakenBackAndFetchedAgain)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(1000003, 4);
    route.stallAt = 400000; // in the middle of part 2 (250001-500000)
    route.stallTimes = 1;
    server.setRoute("/v.mp4", route);
    const qsizetype index = accepted(u"/v.mp4"_qs, u"1700000003"_qs, 1000003);
    startParts(index, {1, 2, 3, 4});
    ASSERT_TRUE(bed.waitForWorkers());

    const auto requests = server.requestsFor("/v.mp4");
    EXPECT_EQ(requests.size(), 5); // part 2 twice
    EXPECT_EQ(joinedParts(u"1700000003"_qs), route.body);
    EXPECT_EQ(bed.record(index).receivedBytes, 1000003);
    EXPECT_EQ(bed.record(index).state, VideoFile::State::Old);
    EXPECT_EQ(bed.assemblies.load(), 1);
}

// A fault of the server or the network that ends a single-part download: the record is given
// up with nothing counted and nothing to assemble, and its row says why. A time-out is tried
// three times; a connection error is not tried again.
struct FaultCase
{
    const char* name;
    qint64 size;
    void (*fault)(FaultServer::Route& route);
    bool refused; // the address names a port nobody listens on
    const char* progress;
    int requests; // the requests the server sees (-1: at most one)
    bool forgetsTotal;
};

class SegmentedDownloadFault : public SegmentedDownloadTest, public ::testing::WithParamInterface<FaultCase>
{
};

TEST_P(SegmentedDownloadFault, GivesTheRecordUpAndSaysWhy)
{
    const FaultCase& row = GetParam();
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(row.size, 5);
    row.fault(route);
    server.setRoute("/v.mp4", route);
    const qsizetype index = accepted(u"/v.mp4"_qs, u"1700000004"_qs, row.size);
    if (row.refused)
        bed.videoFiles.update(index, [](VideoFile& r) { r.url = u"http://127.0.0.1:9/v.mp4"_qs; });
    startParts(index, {0});
    ASSERT_TRUE(bed.waitForWorkers());
    const VideoFile record = bed.record(index);
    EXPECT_EQ(record.state, VideoFile::State::Canceled);
    EXPECT_EQ(record.receivedBytes, 0);
    if (row.forgetsTotal) {
        EXPECT_EQ(record.totalBytes, 0);
    }
    EXPECT_EQ(bed.list.lastProgress(index), QString::fromLatin1(row.progress));
    if (row.requests >= 0) {
        EXPECT_EQ(server.requestsFor("/v.mp4").size(), row.requests);
    } else {
        EXPECT_LE(server.requestsFor("/v.mp4").size(), 1);
    }
    EXPECT_EQ(bed.assemblies.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults,
                         SegmentedDownloadFault,
                         ::testing::Values(
                             // One byte every 100 ms never lets the receive time-out expire; the low-speed limit ends
                             // each attempt instead.
                             FaultCase{"Trickle", 20000,
                                       [](FaultServer::Route& route) {
                                           route.trickleAt = 500;
                                           route.trickleForMs = 8000;
                                       },
                                       false, "Timeout", 3, false},
                             FaultCase{"StallsThreeTimes", 100000,
                                       [](FaultServer::Route& route) {
                                           route.stallAt = 50000;
                                           route.stallTimes = 3;
                                       },
                                       false, "Timeout", 3, true},
                             FaultCase{"ClosedEarly", 100000, [](FaultServer::Route& route) { route.closeAt = 30000; },
                                       false, "Conn err", -1, false},
                             FaultCase{"Refused", 100000, [](FaultServer::Route&) {}, true, "Conn err", -1, false}),
                         [](const ::testing::TestParamInfo<FaultCase>& row) { return std::string(row.param.name); });

TEST_F(SegmentedDownloadTest, AnswersWithoutBodyEndTheAttempt)
{
    // No length, or a status other than 200/206: nothing written, no retry, no completion.
    FaultServer::Route noLength;
    noLength.body = DownloadTestBed::randomBytes(100000, 7);
    noLength.omitLength = true;
    server.setRoute("/nolength.mp4", noLength);
    FaultServer::Route missing;
    missing.status = 404;
    missing.body = "gone";
    server.setRoute("/missing.mp4", missing);

    const qsizetype a = accepted(u"/nolength.mp4"_qs, u"1700000007"_qs, 100000);
    const qsizetype b = accepted(u"/missing.mp4"_qs, u"1700000008"_qs, 100000);
    startParts(a, {0});
    startParts(b, {0});
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_FALSE(QFile::exists(bed.tempFile(u"1700000007_"_qs)));
    EXPECT_FALSE(QFile::exists(bed.tempFile(u"1700000008_"_qs)));
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(bed.assemblies.load(), 0);
    EXPECT_TRUE(bed.rows->contains(a));
    EXPECT_TRUE(bed.rows->contains(b));
}

// Body bytes are gathered into large writes; a server that sends a little and then trickles
// still gets its bytes into the part file and onto the row soon, not when the part ends.
TEST_F(SegmentedDownloadTest, ASlowServersBytesReachTheFileAndTheRowWhileItRuns)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(1000000, 10);
    route.trickleAt = 100000; // then one byte every 100 ms
    route.trickleForMs = 20000;
    server.setRoute("/v.mp4", route);
    const qsizetype index = accepted(u"/v.mp4"_qs, u"1700000010"_qs, 1000000);
    startParts(index, {0});

    const QString part = bed.tempFile(u"1700000010_"_qs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(part).size() >= 100000; }, 10000));
    EXPECT_GE(QFileInfo(part).size(), 100000);
    EXPECT_GE(bed.record(index).receivedBytes, 100000);
    EXPECT_EQ(bed.list.lastProgress(index), u"10%"_qs);
    bed.rows->cancel(index);
    ASSERT_TRUE(bed.waitForWorkers());
    EXPECT_EQ(bed.assemblies.load(), 0);
}

TEST_F(SegmentedDownloadTest, CancellingStopsAllFourParts)
{
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(4000000, 8);
    route.chunkDelayMs = 5; // about 3 MB/s per part: all four are running when the user cancels
    server.setRoute("/v.mp4", route);
    const qsizetype index = accepted(u"/v.mp4"_qs, u"1700000009"_qs, 4000000);
    startParts(index, {1, 2, 3, 4});

    // Wait until every part has bytes on disk, then remove the row as the user would.
    const auto allStarted = [this] {
        for (int part = 1; part <= 4; ++part) {
            if (QFileInfo(bed.tempFile(u"1700000009_"_qs + QString::number(part))).size() == 0)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(allStarted, 10000));
    bed.rows->cancel(index);
    ASSERT_TRUE(bed.waitForWorkers());

    EXPECT_EQ(server.requestsFor("/v.mp4").size(), 4); // no part tried again
    for (int part = 1; part <= 4; ++part)
        EXPECT_LT(bed.readTemp(u"1700000009_"_qs + QString::number(part)).size(), 1000000) << part;
    EXPECT_EQ(bed.assemblies.load(), 0);
    const VideoFile record = bed.record(index);
    EXPECT_EQ(record.state, VideoFile::State::Canceled);
    EXPECT_EQ(record.totalBytes, 0);
    EXPECT_TRUE(bed.list.events().contains(u"remove %1"_qs.arg(index)));
    EXPECT_TRUE(bed.list.events().contains(u"hide"_qs));
}

} // namespace
