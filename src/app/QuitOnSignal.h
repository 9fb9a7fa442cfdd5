#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a normal QCoreApplication::quit(), so the program ends through
// its own exit path (children ended, settings written) instead of dying mid-write. The handler
// only writes one byte to a pipe; the event loop does the rest.
class QuitOnSignal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuitOnSignal)

public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    QSocketNotifier* m_notifier = nullptr;
};
