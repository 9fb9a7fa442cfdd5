#pragma once

#include "tools/ToolCommand.h"

#include <QByteArray>

#include <sys/types.h>

// One started tool: its pid and the read end of the pipe that carries its standard output and
// standard error. The destructor closes the pipe and reaps the tool, so no descriptor or zombie
// outlives the object; it waits for the tool to exit, ending it first when it was asked to stop.
class ChildProcess final
{
public:
    enum class Read
    {
        Data, // chunk holds 1 to 256 bytes
        Idle, // nothing arrived within the time-out
        End,  // every holder of the pipe's write end has closed it
    };

    enum class Outcome
    {
        Exited,
        Signalled,
        Stopped,
        NotStarted,
    };

    static constexpr int ChunkSize = 256;

    // Starts programPath (an absolute path) with the arguments of command. No shell runs it;
    // the tool gets /dev/null, the pipe twice and no other descriptor of this process. It leads
    // a process group of its own and gets SIGKILL from the kernel when the thread that started
    // it ends (so when this process ends, however it ends); FamilyGuard ends the rest of its
    // group then. The object must stay on the thread that made it.
    ChildProcess(const QString& programPath, const ToolCommand& command);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // Waits up to timeoutMs for output and reads at most ChunkSize bytes.
    Read read(QByteArray& chunk, int timeoutMs);

    // Asks the tool (and its process group) to end with SIGTERM; read() sends SIGKILL when
    // the pipe is still open after the grace period.
    void terminate();
    // The same with a grace period of graceMs before SIGKILL (a job whose files are thrown
    // away anyway need not wait long).
    void terminateWithin(int graceMs);

    // Closes the pipe, waits for the tool to exit and reaps it. Safe to call more than once.
    Outcome finish(int* exitCode = nullptr);

private:
    void closePipe();

    pid_t m_pid = -1;
    int m_readFd = -1;
    bool m_terminating = false;
    bool m_killed = false;
    qint64 m_killDeadlineMs = 0;
    bool m_finished = false;
    Outcome m_outcome = Outcome::NotStarted;
    int m_exitCode = -1;
};
