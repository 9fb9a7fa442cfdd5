#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <ctime>
#include <sys/resource.h>

#include <cstdio>

// Timing and child-process helpers of the benchmarks.

// CPU time of this thread: the machine is shared, so wall time would also measure the neighbours.
inline qint64 threadNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// User and system time of the children waited for so far.
inline double childrenSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ToolRun
{
    bool ok = false; // started, ended normally with exit code 0
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system of the process and what it waited for
    QByteArray output;     // stdout and stderr merged, unless written to a file
};

// Runs a program to its end (at most timeoutMs) and times it. With `outputFile`, its merged
// output goes there instead of into memory (tools that print one line per frame).
inline ToolRun runTool(const QString& program,
                       const QStringList& arguments,
                       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                       const QString& outputFile = QString(),
                       int timeoutMs = 3600 * 1000)
{
    ToolRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.setStandardInputFile(QProcess::nullDevice());
    const double before = childrenSeconds();
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        run.output = process.errorString().toUtf8();
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.output = "timed out";
        return run;
    }
    run.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = childrenSeconds() - before;
    run.exitCode = process.exitCode();
    run.ok = process.exitStatus() == QProcess::NormalExit && run.exitCode == 0;
    if (outputFile.isEmpty())
        run.output = process.readAll();
    return run;
}

// The last lines of a tool's output, for a failure message.
inline QByteArray tail(const QByteArray& output, qsizetype bytes = 600)
{
    return output.right(bytes).trimmed();
}

// One measure as the benchmarks print it: a title, then the peer, the figure, the ratio and the
// goal on one line each.
inline void printMeasure(
    const QString& title, const QString& peer, const QString& figure, const QString& ratio, const QString& goal)
{
    std::printf("== %s\n  peer:   %s\n  figure: %s\n  ratio:  %s\n  goal:   %s\n", qPrintable(title), qPrintable(peer),
                qPrintable(figure), qPrintable(ratio), qPrintable(goal));
    std::fflush(stdout);
}

inline QString metOrNot(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("NOT met");
}
