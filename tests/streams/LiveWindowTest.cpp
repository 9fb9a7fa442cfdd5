// Which segments of a reloaded live playlist are recorded: from the edge, after the last one
// recorded, and at the edge again (a gap) when the playlist has moved past it.
#include "streams/LiveWindow.h"
#include "streams/HlsPlaylist.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

const QUrl Address(QStringLiteral("http://127.0.0.1/live/index.m3u8"));

// A live HLS playlist of `count` 2 s segments from media sequence `first` (the real parser
// makes the requests).
QList<SegmentRequest> hls(qint64 first, int count)
{
    QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) + '\n';
    for (int i = 0; i < count; ++i)
        text += "#EXTINF:2.0,\ns" + QByteArray::number(first + i) + ".ts\n";
    StreamResult<HlsPlaylist> parsed = HlsPlaylist::parse(text, Address);
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? parsed.value().segments : QList<SegmentRequest>{};
}

// DASH segments as a $Time$ template names them: address and start, 2 s each.
QList<SegmentRequest> dash(int firstSecond, int count)
{
    QList<SegmentRequest> segments;
    for (int i = 0; i < count; ++i) {
        SegmentRequest segment;
        const int start = firstSecond + 2 * i;
        segment.url = QUrl(QStringLiteral("http://127.0.0.1/live/t-%1.m4s").arg(start * 1000));
        segment.start = start;
        segment.duration = 2;
        segment.sequence = i + 1; // numbers that restart with every window, as $Time$ streams give
        segments.append(segment);
    }
    return segments;
}

QList<qint64> sequences(const QList<SegmentRequest>& segments)
{
    QList<qint64> list;
    for (const SegmentRequest& segment : segments)
        list.append(segment.sequence);
    return list;
}

QList<double> starts(const QList<SegmentRequest>& segments)
{
    QList<double> list;
    for (const SegmentRequest& segment : segments)
        list.append(segment.start);
    return list;
}

void recordAll(LiveWindow& window, const LiveWindow::Update& update)
{
    for (const SegmentRequest& segment : update.fresh)
        window.recorded(segment);
}

TEST(LiveWindowTest, HlsStartsAtTheEdgeAndFollowsTheMediaSequence)
{
    LiveWindow window(StreamFormat::Hls);
    // First load: three segments back from the end, as players start.
    LiveWindow::Update update = window.update(hls(100, 6));
    EXPECT_EQ(sequences(update.fresh), (QList<qint64>{103, 104, 105}));
    EXPECT_FALSE(update.gap);
    // A shorter playlist still starts at its first segment.
    EXPECT_EQ(sequences(window.update(hls(7, 2)).fresh), (QList<qint64>{7, 8}));
    EXPECT_TRUE(window.update({}).fresh.isEmpty());

    // Only one recorded: the update offers the two after it again (a failed fetch is retried).
    window.recorded(update.fresh[0]);
    EXPECT_EQ(sequences(window.update(hls(100, 6)).fresh), (QList<qint64>{104, 105}));
    recordAll(window, update);
    // Unchanged, then slid by two: the new ones only.
    EXPECT_TRUE(window.update(hls(100, 6)).fresh.isEmpty());
    update = window.update(hls(102, 6));
    EXPECT_EQ(sequences(update.fresh), (QList<qint64>{106, 107}));
    EXPECT_FALSE(update.gap);
    recordAll(window, update);
    // Slid exactly past the last one recorded: nothing missed, no gap.
    update = window.update(hls(108, 6));
    EXPECT_EQ(sequences(update.fresh), (QList<qint64>{108, 109, 110, 111, 112, 113}));
    EXPECT_FALSE(update.gap);
}

TEST(LiveWindowTest, HlsGapResumesAtTheEdge)
{
    LiveWindow window(StreamFormat::Hls);
    recordAll(window, window.update(hls(100, 6))); // up to 105
    // An outage: the playlist moved on by ten, the window of six no longer holds 106.
    LiveWindow::Update update = window.update(hls(110, 6));
    EXPECT_TRUE(update.gap);
    EXPECT_EQ(sequences(update.fresh), (QList<qint64>{113, 114, 115}));
    // 106-109 gone from the playlist, 110-112 behind the edge: seven 2 s segments.
    EXPECT_DOUBLE_EQ(update.missed, 14.0);
    recordAll(window, update);
    EXPECT_TRUE(window.update(hls(110, 6)).fresh.isEmpty());

    // The encoder started again: numbers from 0, all older than the last recorded.
    update = window.update(hls(0, 5));
    EXPECT_TRUE(update.gap);
    EXPECT_EQ(sequences(update.fresh), (QList<qint64>{2, 3, 4}));
    EXPECT_DOUBLE_EQ(update.missed, 0.0); // unknown
}

TEST(LiveWindowTest, DashFollowsAddressesAndStartTimes)
{
    LiveWindow window(StreamFormat::Dash);
    LiveWindow::Update update = window.update(dash(0, 5));
    EXPECT_EQ(starts(update.fresh), (QList<double>{4, 6, 8}));
    recordAll(window, update);
    // The window slid (and its numbers began anew): the last recorded is found by its address.
    update = window.update(dash(4, 5));
    EXPECT_EQ(starts(update.fresh), (QList<double>{10, 12}));
    EXPECT_FALSE(update.gap);
    recordAll(window, update);
    // Slid past it by exactly one segment: still no gap.
    update = window.update(dash(14, 3));
    EXPECT_EQ(starts(update.fresh), (QList<double>{14, 16, 18}));
    EXPECT_FALSE(update.gap);
    recordAll(window, update);
    // Past it by more: the edge, and the time between says what was missed.
    update = window.update(dash(40, 5));
    EXPECT_TRUE(update.gap);
    EXPECT_EQ(starts(update.fresh), (QList<double>{44, 46, 48}));
    EXPECT_DOUBLE_EQ(update.missed, 24.0); // 20 s to 40 s, and 40 s to 44 s behind the edge
    recordAll(window, update);
    // Start times a hair apart are the same instant; segments without a start are never "after".
    QList<SegmentRequest> noisy = dash(46, 4);
    noisy[1].url = QUrl(QStringLiteral("http://127.0.0.1/live/renamed.m4s"));
    noisy[1].start = 48.0000001;
    noisy.removeFirst(); // the last recorded (48) is gone; its double at 48.0000001 is no newer
    update = window.update(noisy);
    EXPECT_FALSE(update.gap);
    EXPECT_EQ(starts(update.fresh), (QList<double>{50, 52}));
    QList<SegmentRequest> unknown = dash(60, 4);
    for (SegmentRequest& segment : unknown)
        segment.start = -1;
    update = window.update(unknown);
    EXPECT_TRUE(update.gap);
    EXPECT_EQ(update.fresh.size(), LiveWindow::kEdgeSegments);
}

} // namespace
