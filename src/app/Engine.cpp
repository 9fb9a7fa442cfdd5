#include "app/Engine.h"

#include "capture/CandidateProbe.h"
#include "capture/GetEachURLThread.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"

Engine::Engine(QObject* parent)
    : QObject(parent)
    , m_downloadRows(std::make_unique<DownloadRows>(m_videoFiles))
    , m_downloadWorkers(std::make_unique<DownloadWorkers>(m_videoFiles, *m_downloadRows))
    , m_candidateProbe(std::make_unique<CandidateProbe>(m_videoFiles, *m_downloadRows, *m_downloadWorkers))
{
}

Engine::~Engine()
{
    stopProbe();
}

void Engine::setDownloadList(DownloadList* list)
{
    m_downloadRows->setView(list);
}

void Engine::setAssemblyHook(std::function<void(qsizetype videoFileIndex)> hook)
{
    m_downloadWorkers->setAssemblyHook(std::move(hook));
}

void Engine::setDownloadTimeouts(const DownloadTimeouts& timeouts)
{
    m_downloadWorkers->setTimeouts(timeouts);
}

void Engine::startProbe()
{
    if (!m_probeThread)
        m_probeThread = std::make_unique<GetEachURLThread>(*m_candidateProbe, m_downloadWorkers->timeouts().probePass);
    m_probeThread->start();
}

void Engine::stopProbe()
{
    if (m_probeThread)
        m_probeThread->stop();
}
