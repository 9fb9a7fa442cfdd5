#pragma once

#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

// A named thread that runs one pass, pauses, and runs the next until it is stopped: the shape
// of every long-lived worker of the program. Stopping ends the pause at once and waits for the
// pass that runs; a pass that can take long is told through the interrupt callback.
class PeriodicWorker final
{
public:
    enum class FirstStep
    {
        Pass,  // a pass at once, then the pause
        Pause, // the pause first
    };

    PeriodicWorker(QString name,
                   std::chrono::milliseconds pause,
                   std::function<void()> pass,
                   FirstStep first = FirstStep::Pass,
                   std::function<void()> interrupt = {});
    ~PeriodicWorker();
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    void start();
    void stop();
    // Ends the current pause at once.
    void wake();

private:
    void loop();
    // Waits out the pause; false when the worker is to stop.
    bool pause();

    QString m_name;
    std::chrono::milliseconds m_pause;
    std::function<void()> m_pass;
    FirstStep m_first;
    std::function<void()> m_interrupt;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopping = false;
    bool m_woken = false;
    std::unique_ptr<QThread> m_thread;
};
