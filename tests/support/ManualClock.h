#pragma once

#include "base/Clock.h"

#include <atomic>

// A clock that stands still until the test moves it.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(qint64 secondsSinceEpoch = 1700000000);

    QDateTime now() const override;
    void setSeconds(qint64 secondsSinceEpoch);
    void advance(qint64 seconds);

private:
    std::atomic<qint64> m_msecs;
};
