#include "streams/SegmentIndex.h"
#include "streams/StreamLimits.h"

#include <QtEndian>

#include <gtest/gtest.h>

namespace {

struct Ref
{
    bool index = false;
    quint32 size = 0;
    quint32 duration = 0;
};

void put(QByteArray& out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// A sidx box as ISO/IEC 14496-12 lays it out.
QByteArray sidx(int version, quint32 timescale, quint64 earliest, quint64 firstOffset, const QList<Ref>& refs)
{
    QByteArray body;
    put(body, quint64(version) << 24, 4);
    put(body, 1, 4); // reference_ID
    put(body, timescale, 4);
    put(body, earliest, version == 0 ? 4 : 8);
    put(body, firstOffset, version == 0 ? 4 : 8);
    put(body, 0, 2);
    put(body, quint64(refs.size()), 2);
    for (const Ref& ref : refs) {
        put(body, (quint64(ref.index) << 31) | ref.size, 4);
        put(body, ref.duration, 4);
        put(body, quint64(1) << 31, 4); // starts with a SAP
    }
    QByteArray box;
    put(box, quint64(8 + body.size()), 4);
    box.append("sidx");
    return box + body;
}

QByteArray otherBox(const char* type, int payload)
{
    QByteArray box;
    put(box, quint64(8 + payload), 4);
    box.append(type);
    box.append(payload, 'z');
    return box;
}

const QUrl File(QStringLiteral("http://127.0.0.1/v/single.mp4"));

TEST(SegmentIndexTest, VersionZeroGivesByteRangesAfterTheBox)
{
    const QByteArray box = sidx(0, 1000, 0, 16, {{false, 5000, 2000}, {false, 7000, 2000}, {false, 100, 500}});
    StreamResult<SegmentIndex> index = SegmentIndex::parse(box);
    ASSERT_TRUE(index.ok()) << index.error().text.toStdString();
    EXPECT_EQ(index.value().version, 0);
    EXPECT_EQ(index.value().timescale, 1000u);
    EXPECT_EQ(index.value().boxSize, box.size());
    ASSERT_EQ(index.value().references.size(), 3);
    EXPECT_TRUE(index.value().references[0].startsWithSap);

    // The index range starts at byte 900 of the file; media begins first_offset after the box.
    StreamResult<QList<SegmentRequest>> segments = index.value().segments(File, 900);
    ASSERT_TRUE(segments.ok());
    const qint64 first = 900 + box.size() + 16;
    ASSERT_EQ(segments.value().size(), 3);
    EXPECT_EQ(segments.value()[0].range, (ByteRange{first, 5000}));
    EXPECT_EQ(segments.value()[1].range, (ByteRange{first + 5000, 7000}));
    EXPECT_EQ(segments.value()[2].range, (ByteRange{first + 12000, 100}));
    EXPECT_DOUBLE_EQ(segments.value()[0].duration, 2.0);
    EXPECT_DOUBLE_EQ(segments.value()[2].duration, 0.5);
    EXPECT_EQ(segments.value()[0].url, File);
}

TEST(SegmentIndexTest, VersionOneAndBoxesBeforeIt)
{
    const QByteArray box = sidx(1, 90000, quint64(1) << 40, 0, {{false, 1, 90000}});
    const QByteArray bytes = otherBox("styp", 12) + box;
    StreamResult<SegmentIndex> index = SegmentIndex::parse(bytes);
    ASSERT_TRUE(index.ok()) << index.error().text.toStdString();
    EXPECT_EQ(index.value().version, 1);
    EXPECT_EQ(index.value().earliestPresentationTime, quint64(1) << 40);
    EXPECT_EQ(index.value().boxOffset, 20);
    StreamResult<QList<SegmentRequest>> segments = index.value().segments(File, 0);
    ASSERT_TRUE(segments.ok());
    EXPECT_EQ(segments.value()[0].range, (ByteRange{20 + box.size(), 1}));
}

TEST(SegmentIndexTest, BrokenIndexesGiveAClearError)
{
    const QByteArray good = sidx(0, 1000, 0, 0, {{false, 10, 1}, {false, 10, 1}});
    struct Row
    {
        QByteArray bytes;
        const char* says;
    };
    QByteArray wrongCount = good;
    wrongCount[8 + 4 + 4 + 4 + 4 + 4 + 2 + 1] = 3; // three references, room for two
    QByteArray zeroScale = good;
    zeroScale[8 + 4 + 4 + 3] = 0;
    zeroScale[8 + 4 + 4 + 2] = 0;
    QByteArray version2 = good;
    version2[8] = 2;
    QByteArray tooBig = good;
    tooBig[3] = char(tooBig[3] + 1);
    const Row rows[] = {
        {QByteArray(), "no sidx"},
        {otherBox("moov", 4), "no sidx"},
        {good.left(7), "cut short"},
        {good.left(good.size() - 1), "larger than the bytes"},
        {tooBig, "larger than the bytes"},
        {good.left(20) + QByteArray(), "larger than the bytes"},
        {wrongCount, "more references"},
        {zeroScale, "timescale"},
        {version2, "version 2"},
        {QByteArray::fromHex("00000004") + "sidx", "larger than the bytes"}, // size below its header
        {QByteArray::fromHex("00000001") + "sidx" + QByteArray::fromHex("0000000000000008"), "larger than the bytes"},
    };
    for (const Row& row : rows) {
        StreamResult<SegmentIndex> index = SegmentIndex::parse(row.bytes);
        ASSERT_FALSE(index.ok()) << row.says;
        EXPECT_TRUE(index.error().text.contains(QLatin1String(row.says))) << index.error().text.toStdString();
    }

    StreamResult<SegmentIndex> nested = SegmentIndex::parse(sidx(0, 1000, 0, 0, {{true, 100, 1}}));
    ASSERT_TRUE(nested.ok());
    StreamResult<QList<SegmentRequest>> segments = nested.value().segments(File, 0);
    ASSERT_FALSE(segments.ok());
    EXPECT_EQ(segments.error().code, StreamError::Code::Unsupported);

    StreamResult<SegmentIndex> empty = SegmentIndex::parse(sidx(0, 1000, 0, 0, {{false, 0, 1}}));
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(empty.value().segments(File, 0).ok()) << "a reference of no bytes";

    QByteArray large(StreamLimits::MaxIndexBytes + 1, '\0');
    EXPECT_EQ(SegmentIndex::parse(large).error().code, StreamError::Code::TooLarge);
    StreamResult<SegmentIndex> far = SegmentIndex::parse(sidx(1, 1, 0, quint64(1) << 62, {{false, 1, 1}}));
    ASSERT_TRUE(far.ok());
    EXPECT_FALSE(far.value().segments(File, 0).ok()) << "first_offset past its bound";
}

} // namespace
