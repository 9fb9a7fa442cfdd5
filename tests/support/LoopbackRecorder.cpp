#include "support/LoopbackRecorder.h"

#include "support/TestProcess.h"

#include <QStandardPaths>
#include <QThread>

LoopbackRecorder::~LoopbackRecorder()
{
    stop();
}

bool LoopbackRecorder::installed()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dumpcap")).isEmpty();
}

bool LoopbackRecorder::start(const QString& file, quint16 port)
{
    m_dumpcap.setProcessChannelMode(QProcess::MergedChannels);
    m_dumpcap.start(QStringLiteral("dumpcap"),
                    {QStringLiteral("-q"), QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("-f"),
                     QStringLiteral("tcp port %1").arg(port), QStringLiteral("-w"), file});
    if (!m_dumpcap.waitForStarted(10000)) {
        m_error = QStringLiteral("dumpcap did not start: ") + m_dumpcap.errorString();
        return false;
    }
    // dumpcap says on standard error when it is capturing.
    QByteArray said;
    if (TestProcess::readUntil(
            m_dumpcap, QProcess::StandardOutput, said,
            [](const QByteArray& output) { return output.contains("Capturing on"); }, 10000))
        return true;
    m_error = QStringLiteral("capture on lo is not permitted here: ") + QString::fromLocal8Bit(said);
    stop();
    return false;
}

bool LoopbackRecorder::stop()
{
    if (m_dumpcap.state() == QProcess::NotRunning)
        return true;
    QThread::msleep(500);
    m_dumpcap.terminate();
    if (m_dumpcap.waitForFinished(10000))
        return true;
    m_dumpcap.kill();
    m_dumpcap.waitForFinished(5000);
    return false;
}
