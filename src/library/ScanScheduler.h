#pragma once

#include "library/LibraryContext.h"
#include "library/LibraryScan.h"

#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <optional>

// Runs library scans one at a time on a worker thread. A request that arrives while a scan runs
// is kept; several such requests merge into one further scan with the newest filters.
class ScanScheduler final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanScheduler)

public:
    explicit ScanScheduler(LibraryContext context, QObject* parent = nullptr);
    ~ScanScheduler() override; // waits for a running scan

    // Any thread.
    void request(const LibraryScan::Request& request);
    bool isIdle() const;
    // Blocks until no scan runs or is pending (headless listing, tests).
    void waitForIdle();

signals:
    void scanFinished(int listed);

private:
    void drain();

    LibraryContext m_context;
    mutable QMutex m_mutex;
    std::optional<LibraryScan::Request> m_pending;
    bool m_running = false;
    QThreadPool m_pool;
};
