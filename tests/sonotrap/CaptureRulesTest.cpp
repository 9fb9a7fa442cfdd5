// The capture buffer's and the silence pacer's rules, driven by tables of steps.
extern "C" {
#include "CaptureBuffer.h"
#include "SilencePacer.h"
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct BufferStep
{
    enum Kind
    {
        Append,
        Take
    } kind;
    std::string bytes;  // appended (Append) or expected taken (Take)
    size_t maxTake = 0; // Take: the reader's room
    bool gap = false;   // Append: flagged; Take: expected gap
};

struct BufferCase
{
    const char* name;
    size_t frameBytes;
    size_t limit;
    std::vector<BufferStep> steps;
    size_t level;   // at the end
    size_t dropped; // at the end
};

class CaptureBufferRules : public ::testing::TestWithParam<BufferCase>
{
};

TEST_P(CaptureBufferRules, KeepsWholeFramesUpToTheLimitInOrder)
{
    const BufferCase& c = GetParam();
    sonotrap_buffer buffer;
    ASSERT_EQ(sonotrap_buffer_init(&buffer), 0);
    sonotrap_buffer_reset(&buffer, c.frameBytes, c.limit);
    // A fresh buffer starts with a gap: the first read follows the start.
    std::vector<char> scratch(64);
    for (const BufferStep& step : c.steps) {
        if (step.kind == BufferStep::Append) {
            sonotrap_buffer_append(&buffer, step.bytes.data(), step.bytes.size(), step.gap);
            continue;
        }
        int gap = -1;
        const size_t taken = sonotrap_buffer_take(&buffer, scratch.data(), step.maxTake, &gap);
        EXPECT_EQ(std::string(scratch.data(), taken), step.bytes) << c.name;
        EXPECT_EQ(gap != 0, step.gap) << c.name;
    }
    EXPECT_EQ(sonotrap_buffer_level(&buffer), c.level) << c.name;
    EXPECT_EQ(buffer.dropped_bytes, c.dropped) << c.name;
    sonotrap_buffer_destroy(&buffer);
}

using S = BufferStep;
INSTANTIATE_TEST_SUITE_P(
    Steps,
    CaptureBufferRules,
    ::testing::Values(
        BufferCase{"first read after start is a gap, the next is not",
                   2,
                   16,
                   {{S::Append, "aabb"}, {S::Take, "aa", 2, true}, {S::Take, "bb", 8, false}},
                   0,
                   0},
        BufferCase{"a short read keeps the rest at the front",
                   2,
                   16,
                   {{S::Append, "aabbcc"}, {S::Take, "aabb", 4, true}, {S::Append, "dd"}, {S::Take, "ccdd", 16}},
                   0,
                   0},
        BufferCase{"past the limit the newest bytes are dropped, and the read after is a gap",
                   2,
                   8,
                   {{S::Append, "aabb"},
                    {S::Take, "aabb", 8, true},
                    {S::Append, "ccddeeffgg"},
                    {S::Take, "ccddeeff", 16, true}},
                   0,
                   2},
        BufferCase{"a full buffer drops a whole packet", 4, 8, {{S::Append, "aaaabbbb"}, {S::Append, "cccc"}}, 8, 4},
        BufferCase{"half frames are never kept or handed out",
                   4,
                   16,
                   {{S::Append, "aaaabb"}, {S::Take, "aaaa", 6, true}},
                   0,
                   2},
        BufferCase{"appends and reads wrap around the end of the ring in order",
                   2,
                   8,
                   {{S::Append, "aabbcc"},
                    {S::Take, "aabb", 4, true},
                    {S::Append, "ddeeff"},
                    {S::Take, "ccddeeff", 16, false},
                    {S::Append, "gghh"},
                    {S::Take, "gg", 2, false},
                    {S::Append, "iijjkk"},
                    {S::Take, "hhiijjkk", 16, false}},
                   0,
                   0},
        BufferCase{"a wrapped full ring drops the newest frames, never the waiting ones",
                   4,
                   12,
                   {{S::Append, "aaaabbbb"},
                    {S::Take, "aaaa", 4, true},
                    {S::Append, "ccccdddd"},
                    {S::Append, "eeee"},
                    {S::Take, "bbbbccccdddd", 16, true}},
                   0,
                   4},
        BufferCase{"a server hole marks a gap in the middle",
                   2,
                   16,
                   {{S::Append, "aa"}, {S::Take, "aa", 2, true}, {S::Append, "bb", 0, true}, {S::Take, "bb", 2, true}},
                   0,
                   0}),
    [](const ::testing::TestParamInfo<BufferCase>& row) { return "Case" + std::to_string(row.index); });

TEST(CaptureBufferLimit, IsTheAlsaBufferInWholeFramesAndNeverAboveOneMebibyte)
{
    struct Row
    {
        size_t bufferBytes, frameBytes, limit;
    };
    for (const Row& row : {Row{16384, 4, 16384}, Row{16386, 4, 16384}, Row{4u << 20, 4, 1u << 20},
                           Row{(1u << 20) + 6, 6, (1u << 20) - (1u << 20) % 6}, Row{100, 0, 0}}) {
        EXPECT_EQ(sonotrap_buffer_limit_for(row.bufferBytes, row.frameBytes), row.limit)
            << row.bufferBytes << " bytes, frames of " << row.frameBytes;
    }
}

TEST(CaptureBufferLimit, ZerosFillWhenNoBytesAreGiven)
{
    sonotrap_buffer buffer;
    ASSERT_EQ(sonotrap_buffer_init(&buffer), 0);
    sonotrap_buffer_reset(&buffer, 2, 16);
    sonotrap_buffer_append(&buffer, "xxxx", 4, 0);
    char scratch[4];
    sonotrap_buffer_take(&buffer, scratch, 4, nullptr);
    sonotrap_buffer_append(&buffer, nullptr, 4, 0);
    ASSERT_EQ(sonotrap_buffer_take(&buffer, scratch, 4, nullptr), 4u);
    EXPECT_EQ(std::string(scratch, 4), std::string(4, '\0'));
    sonotrap_buffer_destroy(&buffer);
}

TEST(CaptureBufferWake, TheReaderIsWokenOnlyForWhatItAskedAndAlwaysByAFullBuffer)
{
    sonotrap_buffer buffer;
    ASSERT_EQ(sonotrap_buffer_init(&buffer), 0);
    sonotrap_buffer_reset(&buffer, 4, 16);
    EXPECT_FALSE(sonotrap_buffer_ready(&buffer)) << "an empty buffer wakes nobody";
    sonotrap_buffer_set_wake(&buffer, 8);
    sonotrap_buffer_append(&buffer, "aaaa", 4, 0);
    EXPECT_FALSE(sonotrap_buffer_ready(&buffer));
    sonotrap_buffer_append(&buffer, "bbbb", 4, 0);
    EXPECT_TRUE(sonotrap_buffer_ready(&buffer));
    // A reader asking for more than the buffer holds is woken once it is full, or it would
    // sleep for ever while the newest audio is dropped.
    sonotrap_buffer_set_wake(&buffer, 64);
    EXPECT_FALSE(sonotrap_buffer_ready(&buffer));
    sonotrap_buffer_append(&buffer, "ccccddddeeee", 12, 0);
    EXPECT_TRUE(sonotrap_buffer_ready(&buffer));
    // A reset keeps what the reader asked for.
    sonotrap_buffer_set_wake(&buffer, 8);
    sonotrap_buffer_reset(&buffer, 4, 16);
    sonotrap_buffer_append(&buffer, "aaaa", 4, 0);
    EXPECT_FALSE(sonotrap_buffer_ready(&buffer));
    sonotrap_buffer_destroy(&buffer);
}

struct PacerStep
{
    bool audio; // audio arrived at this time, or the pacer is asked
    uint64_t atMs;
    uint64_t frames;   // audio: frames arrived
    uint64_t expected; // audio: frames to leave out; asked: frames of silence due
};

struct PacerCase
{
    const char* name;
    std::vector<PacerStep> steps;
};

class SilencePacerRules : public ::testing::TestWithParam<PacerCase>
{
};

TEST_P(SilencePacerRules, FillsOnlyTheGapAtTheRealTimeRate)
{
    sonotrap_pacer pacer;
    sonotrap_pacer_start(&pacer, 1000, 0); // 1000 frames per second: one frame per ms
    for (const PacerStep& step : GetParam().steps) {
        if (step.audio)
            EXPECT_EQ(sonotrap_pacer_audio(&pacer, step.atMs * 1000, step.frames), step.expected)
                << GetParam().name << ": audio at " << step.atMs << " ms";
        else
            EXPECT_EQ(sonotrap_pacer_due(&pacer, step.atMs * 1000), step.expected)
                << GetParam().name << ": silence at " << step.atMs << " ms";
    }
}

constexpr bool A = true;  // audio arrives
constexpr bool Q = false; // the pacer is asked

INSTANTIATE_TEST_SUITE_P(
    Steps,
    SilencePacerRules,
    ::testing::Values(
        PacerCase{"audio flowing: nothing added", {{A, 20, 20, 0}, {Q, 40, 0, 0}, {A, 60, 20, 0}, {Q, 300, 0, 0}}},
        PacerCase{"no audio from the start: the first fill catches up, then it keeps pace",
                  {{Q, 250, 0, 0}, {Q, 300, 0, 300}, {Q, 320, 0, 20}, {Q, 320, 0, 0}, {Q, 1300, 0, 980}}},
        PacerCase{"a stall after audio is filled from the last audio on",
                  {{A, 1000, 20, 0}, {Q, 1200, 0, 0}, {Q, 1400, 0, 400}, {Q, 1420, 0, 20}}},
        PacerCase{"audio ends the gap: no more silence while it flows",
                  {{Q, 400, 0, 400}, {A, 410, 20, 0}, {Q, 600, 0, 0}, {A, 620, 20, 0}, {Q, 700, 0, 0}}},
        PacerCase{"a clock that steps back adds nothing", {{A, 1000, 20, 0}, {Q, 900, 0, 0}}},
        PacerCase{"after a real pause the new audio is all kept",
                  {{A, 1000, 20, 0}, {Q, 1270, 0, 270}, {Q, 4000, 0, 2730}, {A, 4010, 20, 0}, {A, 4030, 20, 0}}},
        PacerCase{"a stall's backlog repeats the silence: what real time does not allow is left out",
                  {{A, 1000, 20, 0},
                   {Q, 1300, 0, 300},
                   {Q, 1320, 0, 20},
                   {A, 1330, 330, 320},
                   {A, 1350, 20, 0},
                   {A, 1370, 20, 0}}},
        PacerCase{"a backlog in pieces: each piece beyond real time is left out",
                  {{A, 1000, 20, 0}, {Q, 1300, 0, 300}, {A, 1301, 200, 199}, {A, 1302, 130, 101}, {A, 1340, 20, 0}}},
        PacerCase{"a backlog whose first pieces fit real time is still found",
                  {{A, 1000, 20, 0}, {Q, 1300, 0, 300}, {A, 1305, 20, 0}, {A, 1306, 300, 300}, {A, 1326, 20, 0}}},
        PacerCase{"a backlog's first pieces kept within the jitter are paid back by what follows",
                  {{A, 1000, 20, 0},
                   {Q, 1300, 0, 300},
                   {A, 1310, 20, 0},
                   {A, 1310, 20, 0},
                   {A, 1310, 20, 20},
                   {A, 1310, 250, 250},
                   {A, 1330, 20, 20},
                   {A, 1350, 20, 10},
                   {A, 1370, 20, 0}}},
        PacerCase{"a stream that starts late: its first audio repeats the start's silence",
                  {{Q, 1800, 0, 1800}, {A, 1810, 2000, 1800}, {A, 1830, 20, 0}}},
        PacerCase{"a second after the gap, audio counts as new again",
                  {{A, 1000, 20, 0}, {Q, 1300, 0, 300}, {A, 1310, 20, 0}, {A, 2400, 2000, 0}}},
        PacerCase{"never more is left out than the silence added, nor than what arrived",
                  {{A, 1000, 20, 0}, {Q, 1260, 0, 260}, {A, 1270, 2000, 260}, {A, 1290, 20, 0}}},
        PacerCase{"audio faster than real time without a gap is never touched",
                  {{A, 1000, 500, 0}, {A, 1001, 500, 0}}}),
    [](const ::testing::TestParamInfo<PacerCase>& row) { return "Case" + std::to_string(row.index); });

TEST(SilencePacerWait, SleepsUntilTheStallLimitWhileAudioFlowsAndTicksInAGap)
{
    sonotrap_pacer pacer;
    sonotrap_pacer_start(&pacer, 1000, 0);
    sonotrap_pacer_audio(&pacer, 1000000, 20);
    EXPECT_EQ(sonotrap_pacer_wait_us(&pacer, 1000000, 20000), SONOTRAP_STALL_US + 1);
    EXPECT_EQ(sonotrap_pacer_wait_us(&pacer, 1240000, 20000), 20000u); // never below a tick
    ASSERT_GT(sonotrap_pacer_due(&pacer, 1300000), 0u);
    EXPECT_EQ(sonotrap_pacer_wait_us(&pacer, 1300000, 20000), 20000u);
}

} // namespace
