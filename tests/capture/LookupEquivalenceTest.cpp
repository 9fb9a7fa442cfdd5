#include "AnalyserHarness.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

using Lookup = RequestAnalyser::Lookup;

// Mixed traffic from a few clients with port reuse, split requests, pages, media and noise.
QList<QByteArray> mixedTraffic(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    static const QByteArray kTypes[] = {"video/mp4",  "text/html", "audio/mpeg", "application/octet-stream",
                                        "video/webm", "image/png"};
    QList<QByteArray> frames;
    for (int i = 0; i < count; ++i) {
        const auto client = quint16(41000 + random.bounded(6));
        const quint16 server = random.bounded(2) ? 80 : 8080;
        const auto sequence = quint32(random.generate());
        switch (random.bounded(5)) {
        case 0:
        case 1: {
            const QByteArray path =
                "/f" + QByteArray::number(random.bounded(20)) + (random.bounded(3) ? ".mp4" : ".html");
            const QByteArray text = browserRequest(path, {"Cookie: n=" + QByteArray::number(i)});
            if (random.bounded(3) == 0) {
                const auto cut = qsizetype(random.bounded(int(text.size() - 6)) + 5);
                frames << FrameBuilder::frame(
                    {client, server, sequence, text.left(cut), 12, FrameBuilder::Link::Ethernet});
                for (int gap = random.bounded(4); gap > 0; --gap)
                    frames << QByteArray(60 + random.bounded(80), char(random.bounded(256)));
                frames << FrameBuilder::frame(
                    {client, server, sequence + quint32(cut), text.mid(cut), 12, FrameBuilder::Link::Ethernet});
            } else {
                frames << FrameBuilder::frame({client, server, sequence, text, 12, FrameBuilder::Link::Ethernet});
            }
            break;
        }
        case 2:
        case 3: {
            const QByteArray& type = kTypes[random.bounded(6)];
            frames << FrameBuilder::frame({server, client, sequence,
                                           FrameBuilder::responseText({"Content-Type: " + type}), 12,
                                           FrameBuilder::Link::Ethernet});
            break;
        }
        default: {
            QByteArray noise(41 + random.bounded(200), '\0');
            for (char& byte : noise)
                byte = char(random.bounded(256));
            frames << noise;
        }
        }
    }
    return frames;
}

// The indexes must find exactly the records the walk finds, in the same order.
TEST(LookupEquivalence, IndexedAndWalkGiveTheSameRecords)
{
    for (quint32 seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(seed);
        AnalyserHarness indexed(Lookup::Indexed);
        AnalyserHarness walk(Lookup::Walk);
        for (const QByteArray& frame : mixedTraffic(seed, 600)) {
            indexed.feed(frame);
            walk.feed(frame);
        }
        const QList<Get> a = indexed.gets.snapshot();
        const QList<Get> b = walk.gets.snapshot();
        ASSERT_EQ(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].requestText, b[i].requestText);
            EXPECT_EQ(a[i].complete, b[i].complete);
        }
        EXPECT_EQ(indexed.history.snapshot(), walk.history.snapshot());
        EXPECT_EQ(indexed.urls(), walk.urls());
        const QList<VideoFile> x = indexed.candidates();
        const QList<VideoFile> y = walk.candidates();
        for (qsizetype i = 0; i < std::min(x.size(), y.size()); ++i) {
            EXPECT_EQ(x[i].cookie, y[i].cookie);
            EXPECT_EQ(x[i].baseName, y[i].baseName);
            EXPECT_EQ(x[i].extension, y[i].extension);
        }
        EXPECT_GT(indexed.videoFiles.size(), 0);
        EXPECT_EQ(indexed.detected.load(), walk.detected.load());
    }
}

} // namespace
