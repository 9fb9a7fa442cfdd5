#pragma once

#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <functional>
#include <memory>

class QThread;

// A named thread that runs one pass, pauses, and runs the next until it is stopped. Stopping
// wakes the pause at once and waits for the pass that runs.
class PeriodicWorker final
{
public:
    PeriodicWorker(QString name, int pauseMs, std::function<void()> pass);
    ~PeriodicWorker();
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    void start();
    void stop();

private:
    void loop();

    QString m_name;
    int m_pauseMs;
    std::function<void()> m_pass;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_thread;
};
