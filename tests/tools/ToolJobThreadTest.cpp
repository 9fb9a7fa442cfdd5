#include "tools/ToolJobThread.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

namespace {

using Job = ToolJobThread<int>;

// Records the state changes a job announces, from whichever thread.
struct StateLog
{
    void attach(Job& job)
    {
        job.onStateChanged = [this](ToolJobState state) {
            QMutexLocker lock(&mutex);
            seen.push_back(state);
        };
    }
    std::vector<ToolJobState> states()
    {
        QMutexLocker lock(&mutex);
        return seen;
    }
    QMutex mutex;
    std::vector<ToolJobState> seen;
};

TEST(ToolJobThread, ARunIsAnnouncedStoppedAndWaitedFor)
{
    Job job(Job::Reuse::Again, ToolJobState::Running);
    StateLog log;
    log.attach(job);
    EXPECT_EQ(job.wait(), 0); // nothing ran: the default outcome
    EXPECT_FALSE(job.stop()); // nothing to stop

    ASSERT_TRUE(job.claim());
    std::promise<void> started;
    int delivered = 0;
    job.launch(
        [&] {
            started.set_value();
            // The work runs until its flag is cleared, as a tool does.
            while (job.runFlag().load())
                std::this_thread::yield();
            return 7;
        },
        [&](const int& result) { delivered = result; });
    started.get_future().wait();
    EXPECT_TRUE(job.running());
    EXPECT_TRUE(job.stop());
    EXPECT_FALSE(job.stop()); // once is enough
    EXPECT_EQ(job.wait(), 7);
    EXPECT_EQ(delivered, 7);
    EXPECT_FALSE(job.running());
    EXPECT_EQ(job.state(), ToolJobState::Finished);
    EXPECT_EQ(log.states(),
              (std::vector<ToolJobState>{ToolJobState::Running, ToolJobState::Stopping, ToolJobState::Finished}));
    // A finished job is not stopped again: its state stays.
    EXPECT_FALSE(job.stop());
    EXPECT_EQ(job.state(), ToolJobState::Finished);
}

TEST(ToolJobThread, ClaimsFollowTheReuseRule)
{
    struct Row
    {
        Job::Reuse reuse;
        bool again; // a second run after the first finished
    };
    for (const Row& row : {Row{Job::Reuse::Once, false}, Row{Job::Reuse::Again, true}}) {
        Job job(row.reuse, ToolJobState::Running);
        ASSERT_TRUE(job.claim());
        EXPECT_FALSE(job.claim()); // a run is on
        job.launch([] { return 1; }, {});
        EXPECT_EQ(job.wait(), 1);
        EXPECT_EQ(job.claim(), row.again);
        if (row.again) {
            // A run that cannot start ends at once with its reason and no worker.
            job.finish(2);
            EXPECT_EQ(job.wait(), 2);
            EXPECT_EQ(job.state(), ToolJobState::Finished);
        }
    }
}

TEST(ToolJobThread, OfManyClaimsAtOnceOneWins)
{
    for (int round = 0; round < 50; ++round) {
        Job job(Job::Reuse::Once, ToolJobState::Running);
        std::promise<void> go;
        std::shared_future<void> ready = go.get_future().share();
        std::vector<std::future<bool>> claims;
        for (int i = 0; i < 4; ++i)
            claims.push_back(std::async(std::launch::async, [&job, ready] {
                ready.wait();
                return job.claim();
            }));
        go.set_value();
        int won = 0;
        for (auto& claim : claims)
            won += claim.get() ? 1 : 0;
        ASSERT_EQ(won, 1) << "round " << round;
        job.finish(0);
    }
}

TEST(ToolJobThread, ShutdownEndsARunningJob)
{
    std::atomic<bool> ended{false};
    {
        Job job(Job::Reuse::Once, ToolJobState::Running);
        ASSERT_TRUE(job.claim());
        job.launch(
            [&] {
                while (job.runFlag().load())
                    std::this_thread::yield();
                ended = true;
                return 0;
            },
            {});
        job.shutdown();
        EXPECT_TRUE(ended.load());
    }
}

} // namespace
