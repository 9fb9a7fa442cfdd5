// The reader of ffmpeg's "-progress" reports merged with its error log.
#include "tools/FfmpegProgress.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

const QString kReport = QStringLiteral("frame=50\nfps=25.0\nstream_0_0_q=28.0\nbitrate= 100.1kbits/s\n"
                                       "total_size=12345\nout_time_us=5000000\nout_time_ms=5000000\n"
                                       "out_time=00:00:05.000000\ndup_frames=0\ndrop_frames=0\nspeed=2.0x\n"
                                       "progress=continue\n");

TEST(FfmpegProgressTest, ReportsSplitAnywhereGiveThePosition)
{
    const QString text = kReport + QStringLiteral("out_time_us=8300000\nprogress=end\n");
    for (qsizetype step = 1; step <= text.size(); step += 7) {
        FfmpegProgress progress;
        for (qsizetype at = 0; at < text.size(); at += step)
            progress.feed(QStringView(text).mid(at, step));
        EXPECT_EQ(progress.positionUs(), 8300000) << step;
        EXPECT_TRUE(progress.ended());
        EXPECT_EQ(progress.reports(), 2);
        EXPECT_EQ(progress.percent(10), 83);
        EXPECT_TRUE(progress.lastLogLine().isEmpty());
    }
}

TEST(FfmpegProgressTest, PercentRules)
{
    FfmpegProgress progress;
    EXPECT_EQ(progress.percent(10), -1);
    progress.feed(QStringLiteral("out_time_us=83450000\n"));
    EXPECT_EQ(progress.percent(166), 50);
    EXPECT_EQ(progress.percent(0), -1) << "no total never divides";
    EXPECT_EQ(progress.percent(60), -1) << "beyond the total changes nothing";
    EXPECT_EQ(progress.percent(INT_MAX), 0);
    // ffmpeg prints "N/A" and negative times before the first frame.
    progress.feed(QStringLiteral("out_time_us=N/A\nout_time_us=-9223372036854775807\n"));
    EXPECT_EQ(progress.positionUs(), 83450000);
}

TEST(FfmpegProgressTest, TheLastLogLineIsTheError)
{
    FfmpegProgress progress;
    progress.feed(kReport);
    progress.feed(QStringLiteral("[libx264 @ 0x55] broken\r\nUnknown encoder 'libnothing'\n"));
    progress.feed(QStringLiteral("Conversion failed!"));
    EXPECT_EQ(progress.lastLogLine(), QStringLiteral("Unknown encoder 'libnothing'"));
    progress.finish();
    EXPECT_EQ(progress.lastLogLine(), QStringLiteral("Conversion failed!"));
    // A log line that looks like key=value but has no known key stays a log line.
    progress.feed(QStringLiteral("size=bad value\n"));
    EXPECT_EQ(progress.lastLogLine(), QStringLiteral("size=bad value"));
}

TEST(FfmpegProgressTest, OverlongLinesAndErrorsAreBounded)
{
    FfmpegProgress progress;
    progress.feed(QString(FfmpegProgress::MaxLineLength * 3, u'e'));
    progress.feed(QStringLiteral("out_time_us=1000000\n"));
    EXPECT_EQ(progress.positionUs(), -1) << "the rest of a dropped line is dropped with it";
    progress.feed(QStringLiteral("out_time_us=2000000\n") + QString(FfmpegProgress::MaxLineLength - 1, u'x') +
                  QStringLiteral("\n"));
    EXPECT_EQ(progress.positionUs(), 2000000);
    EXPECT_EQ(progress.lastLogLine().size(), FfmpegProgress::MaxErrorLength);
}

TEST(FfmpegProgressTest, ClockTexts)
{
    EXPECT_EQ(FfmpegProgress::parseClock(u"00:01:23.450000"), 83450000);
    EXPECT_EQ(FfmpegProgress::parseClock(u"125:00:00.5"), 450000500000);
    EXPECT_EQ(FfmpegProgress::parseClock(u"00:00:07"), 7000000);
    for (const char16_t* bad : {u"", u"N/A", u"-00:00:01.000000", u"00:61:00.0", u"00:00:5x.0", u"1:2:3", u"::"})
        EXPECT_EQ(FfmpegProgress::parseClock(bad), -1);
    FfmpegProgress progress;
    progress.feed(QStringLiteral("out_time=00:00:03.000000\n"));
    EXPECT_EQ(progress.positionUs(), 3000000) << "out_time counts when out_time_us is missing";
}

TEST(FfmpegProgressTest, PeakLevelsAmongTheReports)
{
    // As the level filter prints them between the report blocks, split anywhere.
    const QString output = QStringLiteral("out_time_us=100000\nprogress=continue\n"
                                          "frame:0    pts:0       pts_time:0\n"
                                          "lavfi.astats.Overall.Peak_level=-18.063656\n"
                                          "frame:1    pts:4800    pts_time:0.1\n"
                                          "lavfi.astats.Overall.Peak_level=-inf\n");
    FfmpegProgress progress;
    for (const QChar c : output)
        progress.feed(QStringView(&c, 1));
    EXPECT_EQ(progress.levels(), 2);
    EXPECT_EQ(progress.peakDb(), -1000) << "silence";
    EXPECT_EQ(progress.lastLogLine(), QString()) << "level lines are no error";
    progress.feed(u"lavfi.astats.Overall.Peak_level=-3.5\n");
    EXPECT_DOUBLE_EQ(progress.peakDb(), -3.5);
    // What no peak level is, changes nothing.
    for (const char16_t* bad : {u"lavfi.astats.Overall.Peak_level=nan\n", u"lavfi.astats.Overall.Peak_level=12\n",
                                u"lavfi.astats.Overall.Peak_level=\n", u"lavfi.astats.Overall.Peak_level=-1e400\n",
                                u"lavfi.astats.Overall.Peak_level=0x10\n"})
        progress.feed(bad);
    EXPECT_DOUBLE_EQ(progress.peakDb(), -3.5);
    EXPECT_EQ(progress.levels(), 3);
    EXPECT_TRUE(FfmpegProgress::levelFilter().contains(QStringLiteral("direct=1")));
}

} // namespace
