#pragma once

#include <QDateTime>

// Where the program reads the time. Code that names files by the time or filters by age takes
// a Clock, so tests can pin the time (tests/support/ManualClock).
class Clock
{
public:
    Clock() = default;
    virtual ~Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    virtual QDateTime now() const = 0;

    qint64 secondsSinceEpoch() const { return now().toSecsSinceEpoch(); }

    // The computer's clock.
    static const Clock& system();
};
