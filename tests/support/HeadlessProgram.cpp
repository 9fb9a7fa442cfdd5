#include "support/HeadlessProgram.h"

#include "base/Settings.h"
#include "support/XdgOpenStub.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <optional>

#include <pcap/pcap.h>

HeadlessProgram::HeadlessProgram(QString folder)
    : m_folder(std::move(folder))
    , m_environment(QProcessEnvironment::systemEnvironment())
{
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
    m_environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
    m_environment.remove(QStringLiteral("TRAWLIX_HOME"));
    XdgOpenStub::install(m_folder + QStringLiteral("/bin"), m_environment);
}

HeadlessProgram::~HeadlessProgram()
{
    stop();
}

QString HeadlessProgram::binary()
{
    return QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
}

bool HeadlessProgram::built()
{
    return QFileInfo(binary()).isExecutable();
}

bool HeadlessProgram::canCaptureOnLoopback(QString* why)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_live("lo", 256, 0, 100, error);
    if (!handle) {
        if (why)
            *why = QString::fromLocal8Bit(error);
        return false;
    }
    pcap_close(handle);
    return true;
}

void HeadlessProgram::setSetting(const QString& name, const QString& value) const
{
    Settings settings(configDir() + QStringLiteral("/Trawlix/Trawlix.conf"));
    settings.seedDefaultsIfMissing();
    settings.write(name, value);
}

QStringList HeadlessProgram::commandLine(const QStringList& arguments) const
{
    return QStringList{QStringLiteral("--headless"), QStringLiteral("--data-dir"), dataDir()} + arguments;
}

HeadlessProgram::Run HeadlessProgram::run(const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    QElapsedTimer timer;
    timer.start();
    process.start(binary(), commandLine(arguments));
    Run result;
    result.finished = process.waitForFinished(timeoutMs);
    result.elapsedMs = timer.elapsed();
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool HeadlessProgram::start(const QStringList& arguments)
{
    stop();
    m_live = std::make_unique<QProcess>();
    m_live->setProcessEnvironment(m_environment);
    m_live->setStandardOutputFile(m_folder + QStringLiteral("/output.log"));
    m_live->setProcessChannelMode(QProcess::MergedChannels);
    m_live->start(binary(), commandLine(arguments));
    return m_live->waitForStarted(10000);
}

bool HeadlessProgram::running() const
{
    return m_live && m_live->state() == QProcess::Running;
}

QByteArray HeadlessProgram::output() const
{
    QFile file(m_folder + QStringLiteral("/output.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool HeadlessProgram::waitForOutput(const QByteArray& text, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (output().contains(text))
            return true;
        if (!running() || deadline.hasExpired())
            return output().contains(text);
        QThread::msleep(100);
    }
}

void HeadlessProgram::settle(int ms) const
{
    if (m_live)
        m_live->waitForFinished(ms);
}

int HeadlessProgram::stop()
{
    if (!m_live)
        return -1;
    int code = -1;
    if (m_live->state() != QProcess::NotRunning) {
        m_live->terminate();
        if (!m_live->waitForFinished(15000)) {
            m_live->kill();
            m_live->waitForFinished(5000);
        } else if (m_live->exitStatus() == QProcess::NormalExit) {
            code = m_live->exitCode();
        }
    } else if (m_live->exitStatus() == QProcess::NormalExit) {
        code = m_live->exitCode();
    }
    m_live.reset();
    return code;
}

namespace {

struct Row
{
    QByteArray index;
    QString base;
};

// "download N [BASE]: NAME 0%" where NAME is url, marked as a stream or not.
std::optional<Row> rowOf(const QByteArray& line, const QByteArray& url)
{
    if (!line.startsWith("download "))
        return std::nullopt;
    const qsizetype open = line.indexOf(" [");
    const qsizetype close = line.indexOf("]: ", open);
    if (open < 0 || close < 0)
        return std::nullopt;
    QByteArray name = line.mid(close + 3);
    if (name.startsWith("[HLS] ") || name.startsWith("[DASH] "))
        name = name.mid(name.indexOf(' ') + 1);
    if (!name.startsWith(url + ' '))
        return std::nullopt;
    return Row{line.mid(9, open - 9), QString::fromLatin1(line.mid(open + 2, close - open - 2))};
}

std::optional<Row> firstRow(const QByteArray& output, const QString& url)
{
    for (const QByteArray& line : output.split('\n')) {
        if (std::optional<Row> row = rowOf(line, url.toUtf8()))
            return row;
    }
    return std::nullopt;
}

} // namespace

QString HeadlessProgram::downloadBase(const QByteArray& output, const QString& url)
{
    const std::optional<Row> row = firstRow(output, url);
    return row ? row->base : QString();
}

int HeadlessProgram::downloadRows(const QByteArray& output, const QString& url)
{
    int rows = 0;
    for (const QByteArray& line : output.split('\n'))
        rows += rowOf(line, url.toUtf8()) ? 1 : 0;
    return rows;
}

bool HeadlessProgram::waitForDownload(const QString& url, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QByteArray now = output();
        const std::optional<Row> row = firstRow(now, url);
        if (row && now.contains("\ndownload " + row->index + ": removed\n"))
            return true;
        if (!running() || deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}
