#include "tools/ToolRunner.h"
#include "base/AppPaths.h"
#include "base/Texts.h"
#include "support/ChildHelper.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using ToolRunner::RunFlag;
using ToolRunner::ToolResult;

class ToolRunnerTest : public ::testing::Test
{
protected:
    // The first tool of a process starts the guard of the tools' families, whose socket stays
    // open for the life of the process: started here, so that each test counts from it.
    static void SetUpTestSuite() { ToolRunner::runTool(ChildHelper::command(QStringLiteral("print:1"))); }

    void SetUp() override
    {
        Texts::init();
        m_descriptors = ChildHelper::openDescriptorCount();
    }

    // Every job must leave no descriptor, no running child and no zombie behind.
    void TearDown() override
    {
        EXPECT_EQ(ToolRunner::runningToolCount(), 0);
        EXPECT_EQ(ChildHelper::openDescriptorCount(), m_descriptors);
        EXPECT_TRUE(ChildHelper::hasNoChildren());
    }

    int m_descriptors = 0;
};

TEST_F(ToolRunnerTest, CollectMergesBothChannelsInOrder)
{
    const ToolResult result = ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("print:4")));
    EXPECT_EQ(result.code, ToolResult::Code::Finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, QStringLiteral("line 0\nline 1\nline 2\nline 3\n"));
}

TEST_F(ToolRunnerTest, OutcomesOfExitCodesCrashesAndMissingTools)
{
    struct Row
    {
        ToolCommand command;
        ToolResult::Code code;
        int exitCode;
    };
    const Row rows[] = {
        {ChildHelper::command(QStringLiteral("exit:7")), ToolResult::Code::Finished, 7},
        {ChildHelper::command(QStringLiteral("crash")), ToolResult::Code::Crashed, -1},
        {ToolCommand{QStringLiteral("trawlix-no-such-tool"), {QStringLiteral("-i"), QStringLiteral("x")}},
         ToolResult::Code::NotStarted, -1},
        {ToolCommand{QStringLiteral("/nonexistent/ffmpeg"), {}}, ToolResult::Code::NotStarted, -1},
    };
    for (const Row& row : rows) {
        const ToolResult result = ToolRunner::runToolResult(row.command);
        EXPECT_EQ(result.code, row.code) << qPrintable(row.command.displayText());
        EXPECT_EQ(result.exitCode, row.exitCode) << qPrintable(row.command.displayText());
    }
}

TEST_F(ToolRunnerTest, MissingToolReturnsEmptyInEveryMode)
{
    const ToolCommand missing{QStringLiteral("trawlix-no-such-tool"), {}};
    EXPECT_EQ(ToolRunner::runTool(missing), QString());
    int statusCalls = 0;
    EXPECT_EQ(ToolRunner::runToolWithPercent(missing, 10, QStringLiteral(" x"), QStringLiteral("..Converting "),
                                             [&](const QString&) { ++statusCalls; }),
              QString());
    RunFlag flag{true};
    EXPECT_EQ(ToolRunner::runToolElapsed(missing, flag, [&](const QString&) { ++statusCalls; }), QString());
    int finished = 0;
    ToolRunner::runLinkTool(missing, flag, {{}, {}, [&](int code) { finished += 1 + code; }});
    EXPECT_EQ(statusCalls, 0);
    EXPECT_EQ(finished, 1);
}

TEST_F(ToolRunnerTest, BytesAreWidenedOneToOne)
{
    const QString text = ToolRunner::runTool(ChildHelper::command(QStringLiteral("bytes")));
    ASSERT_EQ(text.size(), 4);
    EXPECT_EQ(text.at(1).unicode(), 0xE9);
    EXPECT_EQ(text.at(2).unicode(), 0xFF);
}

TEST_F(ToolRunnerTest, ToolsInTheDataFolderComeFirst)
{
    QTemporaryDir dir;
    AppPaths::setDataDir(dir.path());
    QFile script(dir.filePath(QStringLiteral("yt-dlp")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho local \"$@\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    EXPECT_EQ(ToolRunner::findTool(QStringLiteral("youtube-dl")), script.fileName());
    EXPECT_EQ(ToolRunner::runTool(ToolCommand{QStringLiteral("youtube-dl"), {QStringLiteral("-U")}}),
              QStringLiteral("local -U\n"));
}

TEST_F(ToolRunnerTest, ToolsInheritOnlyTheirStandardDescriptors)
{
    // Descriptors opened without close-on-exec, as libraries such as libpcap or libcurl do: a
    // tool must not keep a capture socket, a connection or a part file open.
    const int file = ::open("/dev/null", O_RDONLY);
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    int pipeFds[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipeFds), 0);
    ASSERT_GE(file, 0);
    ASSERT_GE(socket, 0);
    const ToolResult result = ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("fds")));
    for (const int fd : {file, socket, pipeFds[0], pipeFds[1]})
        ::close(fd);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, QStringLiteral("0 1 2\n"));
}

TEST_F(ToolRunnerTest, ArgumentsReachTheToolUnchanged)
{
    // A title that a shell would run as a command arrives as one plain argument.
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("injected"));
    const QString hostile = QStringLiteral("x\"; touch ") + marker + QStringLiteral("; echo \"$(id) `id` 'q'");
    const QString text = ToolRunner::runTool(ToolCommand{QStringLiteral("printf"), {QStringLiteral("%s|"), hostile}});
    EXPECT_EQ(text, hostile + QLatin1Char('|'));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ToolRunnerTest, PercentModeShowsEachStampAgainstTheTotal)
{
    QStringList shown;
    QList<int> percents;
    ToolRunner::runToolWithPercent(
        ChildHelper::command(QStringLiteral("stamps")), 10, QStringLiteral(" clip.mp4"),
        QStringLiteral("..Converting "), [&](const QString& text) { shown << text; },
        [&](int percent) { percents << percent; });
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last(), QStringLiteral("100%..Converting  clip.mp4"));
    EXPECT_EQ(shown.size(), percents.size());
    for (int i = 1; i < percents.size(); ++i)
        EXPECT_LE(percents.at(i - 1), percents.at(i));
}

TEST_F(ToolRunnerTest, PercentModeTakesTheLastWholeStampOfAChunk)
{
    // One chunk holds stamps of 10 s and 20 s and half of 30 s; the half stamp waits for its end
    // instead of showing 0 %.
    QStringList shown;
    const QString rest =
        ToolRunner::runToolWithPercent(ChildHelper::command(QStringLiteral("burst")), 40, {},
                                       QStringLiteral("..Processing "), [&](const QString& text) { shown << text; });
    EXPECT_EQ(shown, (QStringList{QStringLiteral("50%..Processing "), QStringLiteral("75%..Processing ")}));
    EXPECT_EQ(rest, QStringLiteral("00:00:30.00 bitrate=1\rtail\n"));
}

TEST_F(ToolRunnerTest, PercentModeShowsNothingWithoutTotalOrRequiredSuffix)
{
    struct Row
    {
        int total;
        QString suffix;
        bool requireSuffix;
    };
    const Row rows[] = {{0, QStringLiteral(" s"), false},
                        {-5, QStringLiteral(" s"), false},
                        {10, QString(), true},
                        {5, QStringLiteral(" s"), false}}; // every stamp past 5 s is above the total
    for (const Row& row : rows) {
        QStringList shown;
        ToolRunner::runToolWithPercent(
            ChildHelper::command(QStringLiteral("stamps")), row.total, row.suffix, QStringLiteral("..Cutting: "),
            [&](const QString& text) { shown << text; }, {}, row.requireSuffix);
        if (row.total == 5) {
            ASSERT_FALSE(shown.isEmpty());
            EXPECT_EQ(shown.last(), QStringLiteral("100%..Cutting:  s"));
        } else {
            EXPECT_TRUE(shown.isEmpty()) << row.total;
        }
    }
}

TEST_F(ToolRunnerTest, ElapsedModeShowsMinutesAndSecondsAndStopsOnTheFlag)
{
    RunFlag flag{true};
    QStringList shown;
    ToolRunner::runToolElapsed(ChildHelper::command(QStringLiteral("stamps")), flag,
                               [&](const QString& text) { shown << text; });
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first(), QStringLiteral("00:00 - Recording..."));
    EXPECT_EQ(shown.last(), QStringLiteral("00:10 - Recording..."));

    // A silent tool still stops: the flag is looked at while nothing arrives.
    RunFlag quietFlag{true};
    std::thread stopper([&] { quietFlag = false; });
    ToolRunner::runToolElapsed(ChildHelper::command(QStringLiteral("quiet")), quietFlag, {});
    stopper.join();
}

TEST_F(ToolRunnerTest, StoppedToolMayFinishItsFileAndPrintsIntoTheResult)
{
    RunFlag flag{true};
    const QString rest = ToolRunner::runToolElapsed(ChildHelper::command(QStringLiteral("graceful")), flag,
                                                    [&](const QString&) { flag = false; });
    EXPECT_TRUE(rest.contains(QStringLiteral("finishing"))) << qPrintable(rest);
}

TEST_F(ToolRunnerTest, ToolThatIgnoresTerminationIsKilled)
{
    RunFlag flag{true};
    QStringList shown;
    ToolRunner::runToolElapsed(ChildHelper::command(QStringLiteral("ignoreterm")), flag, [&](const QString& text) {
        shown << text;
        flag = false;
    });
    EXPECT_EQ(shown, QStringList{QStringLiteral("00:01 - Recording...")});
}

TEST_F(ToolRunnerTest, StopBeforeTheFirstChunkEndsTheJob)
{
    RunFlag flag{true};
    std::thread stopper([&] { flag = false; });
    const ToolResult result = ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("stall")), &flag);
    stopper.join();
    EXPECT_EQ(result.code, ToolResult::Code::Stopped);
}

TEST_F(ToolRunnerTest, TimeLimitEndsAToolThatNeverAnswers)
{
    // "quiet" ends on SIGTERM; "ignoreterm" needs the SIGKILL after the grace period.
    for (const QString& mode : {QStringLiteral("quiet"), QStringLiteral("ignoreterm")}) {
        QElapsedTimer timer;
        timer.start();
        const ToolResult result = ToolRunner::runToolResult(ChildHelper::command(mode), nullptr, 0, 300);
        EXPECT_EQ(result.code, ToolResult::Code::TimedOut) << qPrintable(mode);
        EXPECT_GE(timer.elapsed(), 300) << qPrintable(mode);
        EXPECT_LT(timer.elapsed(), 300 + 3000 + 2000) << qPrintable(mode);
    }
    // A tool that answers in time is not touched by its limit.
    const ToolResult quick =
        ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("print:2")), nullptr, 0, 5000);
    EXPECT_EQ(quick.code, ToolResult::Code::Finished);
    EXPECT_EQ(quick.output, QStringLiteral("line 0\nline 1\n"));
}

TEST_F(ToolRunnerTest, ClosedDownRunnerEndsItsToolsAndStartsNoMore)
{
    auto job = std::async(std::launch::async, [] {
        return ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("stall")), nullptr, 0, 0);
    });
    QDeadlineTimer started(10000);
    while (ToolRunner::runningToolCount() == 0 && !started.hasExpired())
        QThread::msleep(10);
    ASSERT_EQ(ToolRunner::runningToolCount(), 1);
    ToolRunner::closeDown();
    EXPECT_EQ(job.get().code, ToolResult::Code::Stopped);
    EXPECT_EQ(ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("print:1"))).code,
              ToolResult::Code::NotStarted);
    ToolRunner::reopen();
    EXPECT_EQ(ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("print:1"))).code,
              ToolResult::Code::Finished);
}

TEST_F(ToolRunnerTest, CollectEndsAToolOnceItsOutputPassesTheBound)
{
    struct Row
    {
        const char* mode;
        qsizetype bound;
        ToolResult::Code code;
        qsizetype size;
    };
    // "print:4" writes 28 characters.
    const Row rows[] = {
        {"print:4", 28, ToolResult::Code::Finished, 28},
        {"print:4", 27, ToolResult::Code::TooLong, 27},
        {"print:4", 0, ToolResult::Code::Finished, 28},
        {"flood", 100'000, ToolResult::Code::TooLong, 100'000},
    };
    for (const Row& row : rows) {
        const ToolResult result =
            ToolRunner::runToolResult(ChildHelper::command(QString::fromLatin1(row.mode)), nullptr, row.bound);
        EXPECT_EQ(result.code, row.code) << row.mode << " " << row.bound;
        EXPECT_EQ(result.output.size(), row.size) << row.mode << " " << row.bound;
    }
    const ToolResult flood = ToolRunner::runToolResult(ChildHelper::command(QStringLiteral("flood")), nullptr, 16);
    EXPECT_EQ(flood.output, QStringLiteral("flood 0\nflood 1\n"));
}

TEST_F(ToolRunnerTest, WhatAStoppedToolStillPrintsIsBounded)
{
    // It ignores SIGTERM and prints until it is killed after the grace period.
    RunFlag flag{true};
    const ToolResult result = ToolRunner::runToolChunks(
        ChildHelper::command(QStringLiteral("floodterm")), [&](const QString&) { flag = false; }, &flag);
    EXPECT_EQ(result.code, ToolResult::Code::Stopped);
    EXPECT_GT(result.output.size(), 0);
    EXPECT_LE(result.output.size(), 1024 * 1024);
}

TEST_F(ToolRunnerTest, LastLineSaysWhatTheToolSaidLast)
{
    const struct
    {
        QString output;
        QString line;
    } rows[] = {
        {QStringLiteral("in.mp4: No such file or directory\n"), QStringLiteral("in.mp4: No such file or directory")},
        {QStringLiteral("Conversion failed!\r\nsize=  1kB time=00:00:01.00\rvideo:0kB audio:1kB other\n  \n"),
         QStringLiteral("Conversion failed!")},
        {QStringLiteral("size=1kB\n"), QString()},
        {QString(), QString()},
        {QStringLiteral("x\n") + QString(400, QLatin1Char('e')), QString(300, QLatin1Char('e'))},
        // Only the output's last 8 KiB are read: an earlier line is too far back.
        {QStringLiteral("early\n") + QString(9000, QLatin1Char('\n')), QString()},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ToolRunner::lastLine(row.output), row.line) << row.output.left(40).toStdString();
}

TEST_F(ToolRunnerTest, LinkModeShowsChunksAndTheDownloadPercentage)
{
    RunFlag flag{true};
    QStringList status;
    QStringList window;
    int finished = 0;
    ToolRunner::runLinkTool(ChildHelper::command(QStringLiteral("link")), flag,
                            {[&](const QString& chunk) { status << chunk; },
                             [&](const QString& text) { window << text; }, [&](int code) { finished += 1 + code; }});
    EXPECT_EQ(finished, 1);
    ASSERT_FALSE(status.isEmpty());
    EXPECT_TRUE(status.join(QString()).startsWith(QStringLiteral("[youtube] abc")));
    ASSERT_EQ(window.size(), 2);
    EXPECT_EQ(window.first(), QStringLiteral("45.3%..Downloading"));
    EXPECT_EQ(window.last(), QStringLiteral("100%..Downloading"));
}

TEST_F(ToolRunnerTest, LinkModeStopsBeforeTheNextRead)
{
    RunFlag flag{true};
    int finished = 0;
    QStringList status;
    ToolRunner::runLinkTool(ChildHelper::command(QStringLiteral("stall")), flag,
                            {[&](const QString& chunk) {
                                 status << chunk;
                                 flag = false;
                             },
                             {},
                             [&](int) { ++finished; }});
    EXPECT_EQ(status, QStringList{QStringLiteral("stalling\n")});
    EXPECT_EQ(finished, 1);
}

} // namespace
