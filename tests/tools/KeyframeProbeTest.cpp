// Reading ffprobe's keyframe report, including reports a hostile file could produce.
#include "tools/KeyframeProbe.h"
#include "base/AppPaths.h"
#include "support/QStringPrinter.h"
#include "tools/CutJob.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

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

// Runs of stand-in ffprobes from the data folder, which comes before PATH (the lookup that
// finds the real ffprobe in the cutter's tests): a report that never ends, as a hostile file
// could make ffprobe print, one that is stopped, and a refusal.
TEST(KeyframeProbeRun, ReportsAreBoundedWhileReadAndStopsEndFfprobe)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    AppPaths::setDataDir(dir.path());
    struct Row
    {
        const char* script;
        bool stopBefore;
        int stopAfterMs; // -1: not stopped
        KeyframeProbe::Status status;
    };
    const Row rows[] = {
        {"exec yes 'frame|best_effort_timestamp_time=1.000000'", false, -1, KeyframeProbe::Status::TooLong},
        {"exec sleep 30", false, 200, KeyframeProbe::Status::Stopped},
        {"exec sleep 30", true, -1, KeyframeProbe::Status::Stopped},
        {"echo 'format|duration=1.0'; exit 1", false, -1, KeyframeProbe::Status::Failed},
    };
    for (const Row& row : rows) {
        QFile tool(dir.filePath(QStringLiteral("ffprobe")));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tool.write(QByteArray("#!/bin/sh\n") + row.script + '\n');
        tool.close();
        tool.setPermissions(tool.permissions() | QFile::ExeOwner);

        ToolRunner::RunFlag flag{!row.stopBefore};
        std::thread stopper([&] {
            if (row.stopAfterMs >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(row.stopAfterMs));
                flag = false;
            }
        });
        QElapsedTimer timer;
        timer.start();
        const KeyframeProbe probe = KeyframeProbe::probe(QStringLiteral("/any.mp4"), -1, &flag);
        stopper.join();
        EXPECT_EQ(probe.status, row.status) << row.script;
        EXPECT_LT(timer.elapsed(), 10000) << row.script;
        EXPECT_FALSE(probe.readable) << row.script;
        EXPECT_TRUE(probe.keyframesUs.isEmpty()) << row.script;
        EXPECT_FALSE(probe.failureText().isEmpty()) << row.script;
        EXPECT_EQ(ToolRunner::runningToolCount(), 0) << row.script;

        // The cutter tells why it cannot cut.
        const CutJob::Result planned = CutJob::plan({QStringLiteral("/any.mp4"), {}, {}, 0, 1'000, dir.path()}, probe);
        if (row.status == KeyframeProbe::Status::TooLong) {
            EXPECT_EQ(planned.code, CutJob::Result::Code::Unreadable);
            EXPECT_TRUE(planned.error.contains(QStringLiteral("longer than 32 MiB"))) << planned.error.toStdString();
        } else if (row.status == KeyframeProbe::Status::Stopped) {
            EXPECT_EQ(planned.code, CutJob::Result::Code::Failed);
            EXPECT_EQ(planned.error, QStringLiteral("the cut was stopped"));
        }
    }
    EXPECT_EQ(KeyframeProbe::parse(QString()).status, KeyframeProbe::Status::Read);
}

} // namespace
