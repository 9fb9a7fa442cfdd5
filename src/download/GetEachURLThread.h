#pragma once

#include "download/CandidateProbe.h"

#include <QMutex>
#include <QWaitCondition>

#include <memory>

class QThread;

// The probe thread: every 500 ms one pass of CandidateProbe over the records. One for the
// run; stop() (or the destructor) ends it after the record it is probing.
class GetEachURLThread final
{
public:
    GetEachURLThread(CandidateProbe& probe, std::chrono::milliseconds pause);
    ~GetEachURLThread();
    GetEachURLThread(const GetEachURLThread&) = delete;
    GetEachURLThread& operator=(const GetEachURLThread&) = delete;

    void start();
    void stop();
    // Ends the current pause at once (tests, and a freshly appended record).
    void wake();

private:
    void loop();

    CandidateProbe& m_probe;
    std::chrono::milliseconds m_pause;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stop = false;
    bool m_woken = false;
    std::unique_ptr<QThread> m_thread;
};
