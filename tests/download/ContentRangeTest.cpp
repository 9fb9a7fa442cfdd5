#include "download/ContentRange.h"
#include "download/SegmentedDownload.h"

#include <gtest/gtest.h>

namespace {

TEST(ContentRange, OnlyTheExactFormIsARange)
{
    struct Case
    {
        const char* value;
        std::optional<ContentRange> expected;
    };
    const Case cases[] = {
        {"bytes 0-99/100", ContentRange{0, 99, 100}},
        {"BYTES 5-5/6", ContentRange{5, 5, 6}},
        {"bytes 250001-500000/1000003", ContentRange{250001, 500000, 1000003}},
        {"bytes 000000000000000007-8/9", ContentRange{7, 8, 9}}, // 18 digits
        {"bytes 999999999999999997-999999999999999998/999999999999999999",
         ContentRange{999999999999999997, 999999999999999998, 999999999999999999}},
        {"bytes 0000000000000000007-8/9", std::nullopt}, // 19 digits
        {"bytes 0-99/9223372036854775807", std::nullopt},
        {"bytes 0-99/99999999999999999999999", std::nullopt},
        {"bytes */100", std::nullopt},
        {"bytes 0-99/*", std::nullopt},
        {"bytes 0-99", std::nullopt},
        {"bytes 0-99/100 ", std::nullopt},
        {" bytes 0-99/100", std::nullopt},
        {"bytes  0-99/100", std::nullopt},
        {"bytes=0-99/100", std::nullopt},
        {"bytes0-99/100", std::nullopt},
        {"items 0-99/100", std::nullopt},
        {"bytes -1-99/100", std::nullopt},
        {"bytes +0-99/100", std::nullopt},
        {"bytes 0x10-99/100", std::nullopt},
        {"bytes 0 - 99/100", std::nullopt},
        {"bytes 0-99/100/7", std::nullopt},
        {"bytes 0-99/100\r", std::nullopt},
        {"bytes 5-4/100", std::nullopt},   // ends before it starts
        {"bytes 0-100/100", std::nullopt}, // past the total
        {"bytes 0-0/0", std::nullopt},
        {"bytes ", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ContentRange::parse(QByteArrayView(c.value)), c.expected) << c.value;
    // A NUL inside the value is not the end of it.
    EXPECT_EQ(ContentRange::parse(QByteArrayView("bytes 0-9/10\0junk", 17)), std::nullopt);
}

TEST(ContentRange, PartOffsets)
{
    // 1000003 bytes: parts start at 0, 250001, 500001 and 750001.
    const qint64 total = 1000003;
    struct Case
    {
        const char* what;
        int part;
        std::optional<ContentRange> range;
        std::optional<qint64> offset;
    };
    const Case cases[] = {
        {"part 2 as asked", 2, ContentRange{250001, 500000, total}, 0},
        {"part 2 from earlier", 2, ContentRange{249001, 500000, total}, 1000},
        {"part 2 in the whole file", 2, ContentRange{0, total - 1, total}, 250001},
        {"part 4 to the end", 4, ContentRange{750001, total - 1, total}, 0},
        {"part 0 whole", 0, ContentRange{0, total - 1, total}, 0},
        {"part 2 from later", 2, ContentRange{250002, 500000, total}, std::nullopt},
        {"part 0 from later", 0, ContentRange{1, total - 1, total}, std::nullopt},
        {"part 2 of another total", 2, ContentRange{250001, 500000, total + 1}, std::nullopt},
        {"part 3 ends before it", 3, ContentRange{0, 500000, total}, std::nullopt},
        {"no range", 2, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SegmentedDownload::partOffset(c.range, c.part, total), c.offset) << c.what;
}

} // namespace
