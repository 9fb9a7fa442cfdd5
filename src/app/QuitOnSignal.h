#pragma once

#include <QObject>

#include <thread>

// Turns SIGINT and SIGTERM into a normal QCoreApplication::quit(), so the program ends through
// its own exit path (children ended, settings written) instead of dying mid-write. The handler
// only writes the signal's number to a pipe; a watch thread reads it and asks the event loop
// to quit.
//
// The exit path may be stuck where no event loop runs (a scan or a tool blocked on a FIFO).
// When the loop has not taken the request within LoopAnswerMs (long enough for a loaded machine
// whose loop is busy but alive, so its settings are still written), when the exit path still runs
// after ExitGraceMs, or when a second signal comes, the watch thread ends every tool and the
// program with the status of the signal (128 + its number).
class QuitOnSignal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuitOnSignal)

public:
    static constexpr int LoopAnswerMs = 4000;
    static constexpr int ExitGraceMs = 30000;

    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    void watch();

    int m_wake[2] = {-1, -1}; // closed by the destructor to end the watch thread
    std::thread m_watch;
};
