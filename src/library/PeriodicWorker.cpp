#include "library/PeriodicWorker.h"

#include <QThread>

PeriodicWorker::PeriodicWorker(QString name, int pauseMs, std::function<void()> pass)
    : m_name(std::move(name))
    , m_pauseMs(pauseMs)
    , m_pass(std::move(pass))
{}

PeriodicWorker::~PeriodicWorker()
{
    stop();
}

void PeriodicWorker::start()
{
    if (m_thread)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = false;
    }
    m_thread.reset(QThread::create([this] { loop(); }));
    m_thread->setObjectName(m_name);
    m_thread->start();
}

void PeriodicWorker::stop()
{
    if (!m_thread)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
        m_wake.wakeAll();
    }
    m_thread->wait();
    m_thread.reset();
}

void PeriodicWorker::loop()
{
    for (;;) {
        m_pass();
        QMutexLocker lock(&m_mutex);
        if (!m_stopping)
            m_wake.wait(&m_mutex, static_cast<unsigned long>(m_pauseMs));
        if (m_stopping)
            return;
    }
}
