#include "support/ManualClock.h"

ManualClock::ManualClock(qint64 secondsSinceEpoch)
    : m_msecs(secondsSinceEpoch * 1000)
{}

QDateTime ManualClock::now() const
{
    return QDateTime::fromMSecsSinceEpoch(m_msecs.load(), Qt::UTC);
}

void ManualClock::setSeconds(qint64 secondsSinceEpoch)
{
    m_msecs.store(secondsSinceEpoch * 1000);
}

void ManualClock::advance(qint64 seconds)
{
    m_msecs.fetch_add(seconds * 1000);
}
