#include "WireFrames.h"

#include "wire/StreamReassembler.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Piece
{
    std::uint32_t offset; // from the stream's first byte
    std::string text;
    bool fin = false;
};

struct Case
{
    const char* name;
    std::vector<Piece> pieces;
    std::string expected;
    bool finished = false;
};

constexpr std::uint32_t kStart = 0xFFFFFFF0u; // the sequence numbers wrap inside the stream

class Reassembly : public testing::TestWithParam<Case>
{
};

TEST_P(Reassembly, DeliversEachByteOnceInOrder)
{
    StreamReassembler stream(1 << 20, 1'000'000);
    stream.start(kStart);
    std::string delivered;
    WireTime time = 0;
    for (const Piece& piece : GetParam().pieces) {
        const Bytes bytes = bytesOf(piece.text);
        const auto status = stream.feed(kStart + piece.offset, bytes, piece.fin, time += 10,
                                        [&delivered](auto part) { delivered.append(part.begin(), part.end()); });
        ASSERT_EQ(status, StreamReassembler::Status::Ok);
    }
    EXPECT_EQ(delivered, GetParam().expected);
    EXPECT_EQ(stream.finished(), GetParam().finished);
    EXPECT_EQ(stream.heldBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Segments,
    Reassembly,
    testing::Values(Case{"InOrder", {{0, "abcd"}, {4, "efgh"}, {8, "ij", true}}, "abcdefghij", true},
                    Case{"Reordered", {{8, "ij"}, {4, "efgh"}, {0, "abcd"}}, "abcdefghij"},
                    Case{"Retransmitted", {{0, "abcd"}, {0, "abcd"}, {4, "efgh"}, {0, "abcd"}}, "abcdefgh"},
                    // The overlap's first copy wins; only its new bytes are delivered.
                    Case{"OverlapsDelivered", {{0, "abcd"}, {2, "XXef"}}, "abcdef"},
                    Case{"OverlapsWaiting", {{6, "gh"}, {4, "efGH"}, {0, "abcd"}}, "abcdefGH"},
                    Case{"DuplicateWaiting", {{4, "ef"}, {4, "ef"}, {0, "abcd"}}, "abcdef"},
                    Case{"FinBeforeGapFills", {{4, "efgh", true}, {0, "abcd"}}, "abcdefgh", true},
                    Case{"EmptySegments", {{0, ""}, {0, "ab"}, {2, ""}}, "ab"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReassemblyBounds, AGapPastTheWindowEndsTheStream)
{
    StreamReassembler stream(100, 1'000'000);
    stream.start(0);
    const auto ignore = [](auto) {};
    const Bytes sixty(60, 'x');
    EXPECT_EQ(stream.feed(10, sixty, false, 0, ignore), StreamReassembler::Status::Ok);
    EXPECT_EQ(stream.heldBytes(), 60u);
    // Held bytes and the distance ahead are both bounded.
    EXPECT_EQ(stream.feed(100, sixty, false, 0, ignore), StreamReassembler::Status::Gap);
    StreamReassembler far(100, 1'000'000);
    far.start(0);
    EXPECT_EQ(far.feed(5000, bytesOf("x"), false, 0, ignore), StreamReassembler::Status::Gap);
}

TEST(ReassemblyBounds, AGapThatStaysOpenTimesOut)
{
    StreamReassembler stream(1000, 500);
    stream.start(0);
    const auto ignore = [](auto) {};
    stream.feed(10, bytesOf("late"), false, 1000, ignore);
    EXPECT_EQ(stream.check(1400), StreamReassembler::Status::Ok);
    EXPECT_EQ(stream.check(1501), StreamReassembler::Status::Gap);
}

TEST(ReassemblyBounds, FillingTheGapClearsTheWait)
{
    StreamReassembler stream(1000, 500);
    stream.start(0);
    std::string delivered;
    const auto keep = [&delivered](auto part) { delivered.append(part.begin(), part.end()); };
    stream.feed(4, bytesOf("efgh"), false, 1000, keep);
    stream.feed(0, bytesOf("abcd"), false, 1200, keep);
    EXPECT_EQ(delivered, "abcdefgh");
    EXPECT_EQ(stream.check(5000), StreamReassembler::Status::Ok);
}

} // namespace
