#include "support/TestProcess.h"

#include <QElapsedTimer>
#include <QTest>

namespace TestProcess {

Result finish(QProcess& process, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    process.start();
    Result result;
    result.finished = process.waitForFinished(timeoutMs);
    result.elapsedMs = timer.elapsed();
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    if (process.processChannelMode() != QProcess::MergedChannels)
        result.err = process.readAllStandardError();
    return result;
}

Result run(const QString& program, const QStringList& arguments, int timeoutMs, QProcess::ProcessChannelMode channels)
{
    QProcess process;
    process.setProcessChannelMode(channels);
    process.setProgram(program);
    process.setArguments(arguments);
    return finish(process, timeoutMs);
}

bool succeeds(const QString& program, const QStringList& arguments, QString* output, int timeoutMs)
{
    const Result result = run(program, arguments, timeoutMs, QProcess::MergedChannels);
    if (output)
        *output = QString::fromLocal8Bit(result.out);
    return result.exitCode == 0;
}

bool readUntil(QProcess& process,
               QProcess::ProcessChannel channel,
               QByteArray& output,
               const std::function<bool(const QByteArray&)>& condition,
               int timeoutMs)
{
    const auto read = [&] {
        output +=
            channel == QProcess::StandardOutput ? process.readAllStandardOutput() : process.readAllStandardError();
    };
    const bool held = QTest::qWaitFor(
        [&] {
            read();
            return condition(output) || process.state() != QProcess::Running;
        },
        timeoutMs);
    read();
    return held && condition(output);
}

int end(QProcess& process, int graceMs)
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(graceMs)) {
            process.kill();
            process.waitForFinished(5000);
            return -1;
        }
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace TestProcess
