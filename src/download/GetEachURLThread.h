#pragma once

#include "base/PeriodicWorker.h"
#include "download/CandidateProbe.h"

#include <chrono>

// The probe thread: every 500 ms one pass of CandidateProbe over the records. One for the
// run; stop() (or the destructor) ends it after the record it is probing.
class GetEachURLThread final
{
public:
    GetEachURLThread(CandidateProbe& probe, std::chrono::milliseconds pause);
    GetEachURLThread(const GetEachURLThread&) = delete;
    GetEachURLThread& operator=(const GetEachURLThread&) = delete;

    void start() { m_worker.start(); }
    void stop() { m_worker.stop(); }
    // Ends the current pause at once (tests, and a freshly appended record).
    void wake() { m_worker.wake(); }

private:
    PeriodicWorker m_worker;
};
