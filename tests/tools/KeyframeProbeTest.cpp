// Reading ffprobe's keyframe report, including reports a hostile file could produce.
#include "tools/KeyframeProbe.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyframeProbeTest, ReadsKeyframesStreamAndFormat)
{
    const KeyframeProbe probe =
        KeyframeProbe::parse(QStringLiteral("frame|best_effort_timestamp_time=1.400000|side_data|\n"
                                            "\n"
                                            "frame|best_effort_timestamp_time=3.400000\r\n"
                                            "frame|best_effort_timestamp_time=N/A\n"
                                            "frame|best_effort_timestamp_time=3.400000\n"
                                            "frame|best_effort_timestamp_time=2.400000\n"
                                            "stream|codec_type=video\n"
                                            "format|start_time=1.400000|duration=30.023000\n"));
    EXPECT_TRUE(probe.readable);
    EXPECT_TRUE(probe.hasVideo);
    EXPECT_EQ(probe.durationMs, 30'023);
    // Relative to the start time, sorted, once each.
    EXPECT_EQ(probe.keyframesUs, (QList<qint64>{0, 1'000'000, 2'000'000}));
    EXPECT_FALSE(probe.truncated);
}

TEST(KeyframeProbeTest, AudioOnlyAndUnreadableReports)
{
    const KeyframeProbe audio = KeyframeProbe::parse(QStringLiteral("format|start_time=0.000000|duration=N/A\n"));
    EXPECT_TRUE(audio.readable);
    EXPECT_FALSE(audio.hasVideo);
    EXPECT_EQ(audio.durationMs, -1);
    EXPECT_FALSE(KeyframeProbe::parse(QString()).readable);
    EXPECT_FALSE(KeyframeProbe::parse(QStringLiteral("in.mp4: Invalid data found when processing input\n")).readable);
}

TEST(KeyframeProbeTest, MalformedFieldsAreSkipped)
{
    const KeyframeProbe probe =
        KeyframeProbe::parse(QStringLiteral("frame|best_effort_timestamp_time=1e9\n"
                                            "frame|best_effort_timestamp_time=99999999999.0\n" // eleven digits
                                            "frame|best_effort_timestamp_time=1.0000000001\n"  // ten decimals
                                            "frame|best_effort_timestamp_time=.5\n"
                                            "frame|best_effort_timestamp_time=5.\n"
                                            "frame|best_effort_timestamp_time=-\n"
                                            "frame|best_effort_timestamp_time=\u0663.0\n" // a non-ASCII digit
                                            "frame|xbest_effort_timestamp_time=7.0\n"
                                            "frame|best_effort_timestamp_timex=7.0\n"
                                            "frame |best_effort_timestamp_time=7.0\n"
                                            "stream|codec_type=videox\n"
                                            "format|duration=-3.0\n"));
    EXPECT_TRUE(probe.keyframesUs.isEmpty()) << probe.keyframesUs.size();
    EXPECT_FALSE(probe.hasVideo);
    EXPECT_EQ(probe.durationMs, -1);
}

TEST(KeyframeProbeTest, ReportsBeyondTheBoundsAreCut)
{
    QString many;
    for (qsizetype i = 0; i < KeyframeProbe::MaxKeyframes + 10; ++i)
        many += QStringLiteral("frame|best_effort_timestamp_time=%1.0\n").arg(i);
    many += QStringLiteral("format|duration=1.0\n");
    const KeyframeProbe probe = KeyframeProbe::parse(many);
    EXPECT_EQ(probe.keyframesUs.size(), KeyframeProbe::MaxKeyframes);
    EXPECT_TRUE(probe.truncated);
    EXPECT_TRUE(probe.readable);

    QString huge(KeyframeProbe::MaxOutputSize + 100, QLatin1Char('x'));
    huge += QStringLiteral("\nformat|duration=1.0\n");
    const KeyframeProbe cut = KeyframeProbe::parse(huge);
    EXPECT_TRUE(cut.truncated);
    EXPECT_FALSE(cut.readable); // the format line lies past the bound
}

} // namespace
