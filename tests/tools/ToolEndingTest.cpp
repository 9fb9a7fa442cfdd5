#include "support/ChildHelper.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace {

using ToolRunner::ToolResult;

// Starts a job on its own thread and waits until its tool has printed its first chunk.
std::future<ToolResult> startJob(const ToolCommand& command)
{
    auto started = std::make_shared<std::promise<void>>();
    auto ready = started->get_future();
    auto job = std::async(std::launch::async, [command, started] {
        bool told = false;
        ToolRunner::RunFlag flag{true};
        QString collected;
        // Each chunk comes as it is printed, which tells the test the tool is running.
        ToolRunner::runToolChunks(
            command,
            [&](const QString& chunk) {
                collected += chunk;
                if (!told) {
                    told = true;
                    started->set_value();
                }
            },
            &flag);
        if (!told)
            started->set_value();
        ToolResult result;
        result.output = collected;
        return result;
    });
    ready.wait();
    return job;
}

bool waitForCount(int count)
{
    return QTest::qWaitFor([count] { return ToolRunner::runningToolCount() == count; }, 20000);
}

TEST(ToolEnding, KillAllEndsOnlyOurOwnChildrenAndTheirFamilies)
{
    // Another program's process with the very same executable name must survive.
    QProcess stranger;
    stranger.start(ChildHelper::path(), {QStringLiteral("stall")});
    ASSERT_TRUE(stranger.waitForReadyRead(10000));

    auto first = startJob(ChildHelper::command(QStringLiteral("stall")));
    auto second = startJob(ChildHelper::command(QStringLiteral("family")));
    ASSERT_EQ(ToolRunner::runningToolCount(), 2);

    ToolRunner::killAllTools();
    first.get();
    second.get(); // returns only once the grandchild holding the pipe is gone too
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    EXPECT_EQ(stranger.state(), QProcess::Running);
    stranger.kill();
    stranger.waitForFinished(10000);
}

TEST(ToolEnding, KillByNameEndsOnlyMatchingChildren)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    auto child = startJob(ChildHelper::command(QStringLiteral("stall")));
    auto ffmpeg = startJob(ToolCommand{QStringLiteral("ffmpeg"),
                                       {QStringLiteral("-nostdin"), QStringLiteral("-re"), QStringLiteral("-f"),
                                        QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine"),
                                        QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")}});
    ASSERT_EQ(ToolRunner::runningToolCount(), 2);

    ToolRunner::killToolsNamed(QStringLiteral("ffmpeg"));
    ffmpeg.get();
    EXPECT_EQ(ToolRunner::runningToolCount(), 1);

    ToolRunner::killToolsNamed(QStringLiteral("no-such-name"));
    EXPECT_EQ(ToolRunner::runningToolCount(), 1);
    ToolRunner::killAllTools();
    child.get();
    EXPECT_TRUE(waitForCount(0));
    EXPECT_TRUE(ChildHelper::hasNoChildren());
}

} // namespace
