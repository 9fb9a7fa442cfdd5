#include "download/GetEachURLThread.h"

#include <QDeadlineTimer>
#include <QThread>

GetEachURLThread::GetEachURLThread(CandidateProbe& probe, std::chrono::milliseconds pause)
    : m_probe(probe)
    , m_pause(pause)
{}

GetEachURLThread::~GetEachURLThread()
{
    stop();
}

void GetEachURLThread::start()
{
    if (m_thread)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_stop = false;
    }
    m_thread.reset(QThread::create([this] { loop(); }));
    m_thread->setObjectName(QStringLiteral("GetEachURLThread"));
    m_thread->start();
}

void GetEachURLThread::stop()
{
    if (!m_thread)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeAll();
    }
    m_probe.requestStop();
    m_thread->wait();
    m_thread.reset();
}

void GetEachURLThread::wake()
{
    QMutexLocker lock(&m_mutex);
    m_woken = true;
    m_wake.wakeAll();
}

void GetEachURLThread::loop()
{
    for (;;) {
        {
            QMutexLocker lock(&m_mutex);
            const QDeadlineTimer deadline(m_pause);
            while (!m_stop && !m_woken && !deadline.hasExpired())
                m_wake.wait(&m_mutex, deadline);
            m_woken = false;
            if (m_stop)
                return;
        }
        m_probe.pass();
    }
}
