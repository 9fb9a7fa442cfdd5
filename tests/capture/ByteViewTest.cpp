#include "capture/ByteView.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

qsizetype naiveFind(const std::vector<quint8>& bytes, quint8 a, quint8 b, qsizetype from)
{
    for (qsizetype at = std::max<qsizetype>(from, 0); at < qsizetype(bytes.size()); ++at) {
        if (bytes[size_t(at)] == a || bytes[size_t(at)] == b)
            return at;
    }
    return -1;
}

// The block-wise search agrees with a byte-by-byte one wherever the hit stands: in the first or
// the last byte of a block, across a block's end, in the tail shorter than a block, or nowhere.
TEST(ByteViewFindAnyOf, AgreesWithAByteByByteSearch)
{
    for (qsizetype size : {0, 1, 15, 16, 17, 31, 32, 33, 47, 100}) {
        for (qsizetype hitAt = -1; hitAt < size; ++hitAt) {
            // Bytes that differ from both targets by one bit, so a loose test would take them.
            std::vector<quint8> bytes(size_t(size), quint8('G' ^ 0x01));
            for (size_t i = 1; i < bytes.size(); i += 2)
                bytes[i] = quint8('\n' ^ 0x80);
            if (hitAt >= 0)
                bytes[size_t(hitAt)] = hitAt % 2 ? '\n' : 'G';
            const ByteView view(bytes.data(), size);
            for (qsizetype from : {qsizetype(-3), qsizetype(0), hitAt, hitAt + 1, size - 1, size, size + 5})
                EXPECT_EQ(view.findAnyOf('G', '\n', from), naiveFind(bytes, 'G', '\n', from))
                    << "size " << size << " hit " << hitAt << " from " << from;
        }
    }
}

// A view never reads past its size: the byte just behind it is a target and is not found.
TEST(ByteViewFindAnyOf, StopsAtTheViewsEnd)
{
    std::vector<quint8> bytes(64, 'x');
    bytes[40] = 'G';
    for (qsizetype size : {16, 32, 39, 40})
        EXPECT_EQ(ByteView(bytes.data(), size).findAnyOf('G', '\n', 0), -1) << size;
    EXPECT_EQ(ByteView(bytes.data(), 41).findAnyOf('G', '\n', 0), 40);
    EXPECT_EQ(ByteView(nullptr, 10).findAnyOf('G', '\n', 0), -1);
}

} // namespace
