#include "library/ScanScheduler.h"

#include "base/Trace.h"

ScanScheduler::ScanScheduler(LibraryContext context, QObject* parent)
    : QObject(parent)
    , m_context(std::move(context))
{
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("LibraryScan"));
}

ScanScheduler::~ScanScheduler()
{
    {
        QMutexLocker lock(&m_mutex);
        m_pending.reset();
    }
    m_pool.waitForDone();
}

void ScanScheduler::request(const LibraryScan::Request& request)
{
    QMutexLocker lock(&m_mutex);
    m_pending = request;
    if (m_running)
        return;
    m_running = true;
    m_pool.start([this] { drain(); });
}

bool ScanScheduler::isIdle() const
{
    QMutexLocker lock(&m_mutex);
    return !m_running;
}

void ScanScheduler::waitForIdle()
{
    m_pool.waitForDone();
}

void ScanScheduler::drain()
{
    for (;;) {
        LibraryScan::Request next;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_pending) {
                m_running = false;
                return;
            }
            next = *m_pending;
            m_pending.reset();
        }
        const LibraryScan::Result result = LibraryScan::run(m_context, next);
        trace(QStringLiteral("Library: scan listed %1 files").arg(result.listed));
        emit scanFinished(result.listed);
    }
}
