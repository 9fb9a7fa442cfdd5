#pragma once

#include "tools/ToolRunner.h"

#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

// Where a tool job is in its life.
enum class ToolJobState
{
    Idle,
    Running,
    Stopping,
    Finished,
};

// What every tool job (converter, cutter, recorder, link download) shares: one worker thread,
// the run flag whose clearing ends the job's tool and its process group, the state and its
// changes, the outcome, and waiting for it. A job keeps only its own work: it claims a run,
// then either launches its work (which returns the outcome on the worker) or finishes at once
// with the reason it cannot run.
//
// State is the job's own state enum with the enumerators Idle, Stopping and Finished; which
// of its values means "running" is given to the constructor. onStateChanged is called on the
// thread that changes the state. The owner calls shutdown() in its own destructor, before the
// members its work uses go away.
template <typename Result, typename State = ToolJobState> class ToolJobThread final
{
    Q_DISABLE_COPY_MOVE(ToolJobThread)

public:
    enum class Reuse
    {
        Once,  // a job runs once; later claims fail
        Again, // a finished job may run again
    };

    ToolJobThread(Reuse reuse, State running)
        : m_reuse(reuse)
        , m_runningState(running)
    {}
    ~ToolJobThread() { shutdown(); }

    std::function<void(State state)> onStateChanged;

    // Claims the job for a run from any thread (one of two claims at once wins): false while a
    // run is on and, for a job used once, after its first claim. The state is then the running
    // one, quietly: launch() announces it; finish() ends a run that does not launch.
    bool claim()
    {
        State seen = State::Idle;
        if (!m_state.compare_exchange_strong(seen, m_runningState)) {
            if (m_reuse == Reuse::Once || seen != State::Finished ||
                !m_state.compare_exchange_strong(seen, m_runningState))
                return false;
        }
        // The previous run's worker has stored its outcome; let it return.
        join();
        m_runFlag.store(true);
        return true;
    }

    // Runs work on the worker thread of a claimed job; its outcome is stored (finish()), then
    // handed to done on the worker.
    void launch(std::function<Result()> work, std::function<void(const Result& result)> done)
    {
        if (m_state.load() == m_runningState && onStateChanged)
            onStateChanged(m_runningState);
        // Still set only when the last run's own worker claimed this run (from its done):
        // that thread is about to end.
        if (m_worker.joinable())
            m_worker.detach();
        m_worker = std::thread([this, work = std::move(work), done = std::move(done)] {
            const Result result = work();
            finish(result);
            if (done)
                done(result);
        });
    }

    // Stores the outcome and ends the run (its state becomes Finished).
    void finish(const Result& result)
    {
        {
            QMutexLocker lock(&m_mutex);
            m_result = result;
        }
        m_state.store(State::Finished);
        if (onStateChanged)
            onStateChanged(State::Finished);
    }

    // Asks a running job to end: the run flag is cleared, which ends its tool. False (and
    // nothing changes) when no run is on.
    bool stop()
    {
        State running = m_runningState;
        if (!m_state.compare_exchange_strong(running, State::Stopping))
            return false;
        m_runFlag.store(false);
        if (onStateChanged)
            onStateChanged(State::Stopping);
        return true;
    }

    // Blocks until the worker is done; the outcome of the last run (a default Result when none
    // ran).
    Result wait()
    {
        join();
        return result();
    }

    // stop() and wait for the worker.
    void shutdown()
    {
        stop();
        join();
    }

    Result result() const
    {
        QMutexLocker lock(&m_mutex);
        return m_result;
    }
    State state() const { return m_state.load(); }
    bool running() const
    {
        const State state = m_state.load();
        return state == m_runningState || state == State::Stopping;
    }
    ToolRunner::RunFlag& runFlag() { return m_runFlag; }

private:
    void join()
    {
        if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
            m_worker.join();
    }

    const Reuse m_reuse;
    const State m_runningState;
    std::atomic<State> m_state{State::Idle};
    ToolRunner::RunFlag m_runFlag{false};
    std::thread m_worker;
    mutable QMutex m_mutex; // m_result
    Result m_result{};
};
