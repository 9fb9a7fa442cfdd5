#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// Child processes of a test: a tool run to its end, a process read until it says something, a
// process ended as a user or the system would end it.
namespace TestProcess {

struct Result
{
    bool finished = false; // false: killed after the timeout
    int exitCode = -1;     // -1 also for a crash
    qint64 elapsedMs = 0;
    QByteArray out; // with merged channels, standard error too
    QByteArray err;
};

// Starts the process (set up, not started yet) and waits for its end; after timeoutMs it is
// killed.
Result finish(QProcess& process, int timeoutMs);
// Runs program with arguments to its end, its channels apart or merged into `out`.
Result run(const QString& program,
           const QStringList& arguments,
           int timeoutMs = 60000,
           QProcess::ProcessChannelMode channels = QProcess::SeparateChannels);

// Runs program to its end with its channels merged: true when it exited with 0. What it
// printed goes to *output.
bool succeeds(const QString& program, const QStringList& arguments, QString* output = nullptr, int timeoutMs = 60000);

// Reads one channel of a running process into output until condition holds for it, or the
// process ended, or timeoutMs passed; whether it holds. Events are processed meanwhile.
bool readUntil(QProcess& process,
               QProcess::ProcessChannel channel,
               QByteArray& output,
               const std::function<bool(const QByteArray& output)>& condition,
               int timeoutMs);

// SIGTERM, and SIGKILL when the process has not ended after graceMs. Its exit code; -1 when it
// had to be killed or crashed.
int end(QProcess& process, int graceMs = 10000);

} // namespace TestProcess
