#include "download/GetEachURLThread.h"

GetEachURLThread::GetEachURLThread(CandidateProbe& probe, std::chrono::milliseconds pause)
    : m_worker(
          QStringLiteral("GetEachURLThread"),
          pause,
          [&probe] { probe.pass(); },
          PeriodicWorker::FirstStep::Pause,
          [&probe] { probe.requestStop(); })
{}
