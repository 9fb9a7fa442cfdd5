#pragma once

#include <QElapsedTimer>
#include <QObject>

class ScanScheduler;

// For measuring a start: when TRAWLIX_STARTUP_PROBE is set, the first paint after the start's
// library scan prints one line to standard output (elapsed milliseconds since main, rows
// listed, resident memory) and ends the program. Without the variable it does nothing.
class StartupProbe final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StartupProbe)

public:
    StartupProbe(const QElapsedTimer& sinceMain, ScanScheduler& scans, QObject* parent = nullptr);

    static bool requested();
    // The resident set of this process in KiB (VmRSS), -1 when it cannot be read.
    static qint64 residentKiB();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report();

    QElapsedTimer m_sinceMain;
    int m_listed = -1; // rows of the first scan; -1 until it finished
    bool m_reported = false;
};
