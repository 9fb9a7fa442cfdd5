#include "tools/ToolRunner.h"
#include "base/AppPaths.h"
#include "base/Texts.h"
#include "support/ChildHelper.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
    int chunks = 0;
    const ToolResult text = ToolRunner::runToolChunks(missing, [&](const QString&) { ++chunks; });
    RunFlag flag{true};
    const ToolResult bytes = ToolRunner::runToolChunks(
        missing, flag, [&](const QByteArray&) { ++chunks; }, 100);
    EXPECT_EQ(text.code, ToolResult::Code::NotStarted);
    EXPECT_EQ(bytes.code, ToolResult::Code::NotStarted);
    EXPECT_TRUE(text.output.isEmpty());
    EXPECT_EQ(chunks, 0);
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

TEST_F(ToolRunnerTest, AClearedFlagEndsTheToolWhateverItDoes)
{
    struct Row
    {
        const char* mode;
        const char* firstChunk;   // the chunk that clears the flag; empty: the tool prints nothing
        const char* stillPrinted; // what it prints once asked to end, kept in the result
    };
    const Row rows[] = {
        {"quiet", "", ""},                                                  // looked at while nothing arrives
        {"stall", "stalling\n", ""},                                        // nothing is shown after it
        {"graceful", "size=1kB time=00:00:01.00 recording\n", "finishing"}, // it may finish its file
        {"ignoreterm", "size=1kB time=00:00:01.00 ignoring\n", ""},         // killed after the grace period
    };
    for (const Row& row : rows) {
        RunFlag flag{true};
        QStringList shown;
        std::thread stopper;
        if (!*row.firstChunk)
            stopper = std::thread([&] { flag = false; });
        const ToolResult result = ToolRunner::runToolChunks(
            ChildHelper::command(QString::fromLatin1(row.mode)),
            [&](const QString& chunk) {
                shown << chunk;
                flag = false;
            },
            &flag);
        if (stopper.joinable())
            stopper.join();
        EXPECT_EQ(result.code, ToolResult::Code::Stopped) << row.mode;
        if (*row.firstChunk)
            EXPECT_EQ(shown, QStringList{QString::fromLatin1(row.firstChunk)}) << row.mode;
        else
            EXPECT_TRUE(shown.isEmpty()) << row.mode;
        EXPECT_TRUE(result.output.contains(QLatin1String(row.stillPrinted))) << row.mode;
    }
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
    EXPECT_TRUE(QTest::qWaitFor([] { return ToolRunner::runningToolCount() > 0; }, 10000));
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

} // namespace
