#include "base/PeriodicWorker.h"

#include <QDeadlineTimer>
#include <QThread>

PeriodicWorker::PeriodicWorker(QString name,
                               std::chrono::milliseconds pause,
                               std::function<void()> pass,
                               FirstStep first,
                               std::function<void()> interrupt)
    : m_name(std::move(name))
    , m_pause(pause)
    , m_pass(std::move(pass))
    , m_first(first)
    , m_interrupt(std::move(interrupt))
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
    if (m_interrupt)
        m_interrupt();
    m_thread->wait();
    m_thread.reset();
}

void PeriodicWorker::wake()
{
    QMutexLocker lock(&m_mutex);
    m_woken = true;
    m_wake.wakeAll();
}

bool PeriodicWorker::pause()
{
    QMutexLocker lock(&m_mutex);
    const QDeadlineTimer deadline(m_pause);
    while (!m_stopping && !m_woken && !deadline.hasExpired())
        m_wake.wait(&m_mutex, deadline);
    m_woken = false;
    return !m_stopping;
}

void PeriodicWorker::loop()
{
    if (m_first == FirstStep::Pause && !pause())
        return;
    do
        m_pass();
    while (pause());
}
