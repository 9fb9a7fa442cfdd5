#include "support/BuiltProgram.h"

#include "base/Settings.h"
#include "support/MediaFixture.h"
#include "support/TestProcess.h"
#include "support/XdgOpenStub.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <optional>

#include <pcap/pcap.h>

namespace {

std::atomic<int> g_serial{0};

} // namespace

BuiltProgram::BuiltProgram(QString folder, Mode mode)
    : m_folder(std::move(folder))
    , m_mode(mode)
    , m_serial(++g_serial)
{
    QDir().mkpath(homeDir());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Written once: another run in this folder may be starting the stub right now.
    if (!QFileInfo::exists(m_folder + QStringLiteral("/bin/xdg-open"))) {
        QProcessEnvironment unused;
        XdgOpenStub::install(m_folder + QStringLiteral("/bin"), unused);
    }
}

QProcessEnvironment BuiltProgram::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), homeDir());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheDir());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_folder + QStringLiteral("/share"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
    environment.remove(QStringLiteral("TRAWLIX_HOME"));
    environment.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    const QString path = environment.value(QStringLiteral("PATH"));
    environment.insert(QStringLiteral("PATH"), m_folder + QStringLiteral("/bin:") + path);
    for (const auto& [name, value] : m_overrides) {
        if (value)
            environment.insert(name, *value);
        else
            environment.remove(name);
    }
    return environment;
}

BuiltProgram::~BuiltProgram()
{
    stop();
}

QString BuiltProgram::binary()
{
    return QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
}

bool BuiltProgram::built()
{
    return QFileInfo(binary()).isExecutable();
}

bool BuiltProgram::canCaptureOnLoopback(QString* why)
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

QString BuiltProgram::missingForMedia()
{
    if (!built())
        return QStringLiteral("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
    if (!MediaFixture::ffmpegAvailable())
        return QStringLiteral("ffmpeg is not installed");
    return {};
}

QString BuiltProgram::missingForLiveCapture()
{
    QString why;
    if (!canCaptureOnLoopback(&why) && built())
        return QStringLiteral("live capture on lo is not permitted here (run as root): ") + why;
    return missingForMedia();
}

QByteArray BuiltProgram::readData(const QString& relative) const
{
    QFile file(data(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void BuiltProgram::setSetting(const QString& name, const QString& value) const
{
    Settings settings(settingsFile());
    settings.seedDefaultsIfMissing();
    settings.write(name, value);
}

QString BuiltProgram::setting(const QString& name) const
{
    return Settings(settingsFile()).read(name);
}

QStringList BuiltProgram::commandLine(const QStringList& arguments) const
{
    switch (m_mode) {
    case Mode::Headless:
        return QStringList{QStringLiteral("--headless"), QStringLiteral("--data-dir"), dataDir()} + arguments;
    case Mode::Desktop:
        return QStringList{QStringLiteral("--data-dir"), dataDir()} + arguments;
    case Mode::AsGiven:
        break;
    }
    return arguments;
}

QString BuiltProgram::outputFile() const
{
    return m_folder + QStringLiteral("/output-%1.log").arg(m_serial);
}

void BuiltProgram::prepare(QProcess& process, const QStringList& arguments) const
{
    process.setProcessEnvironment(environment());
    process.setProgram(binary());
    process.setArguments(commandLine(arguments));
}

BuiltProgram::Run BuiltProgram::run(const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    prepare(process, arguments);
    return TestProcess::finish(process, timeoutMs);
}

bool BuiltProgram::start(const QStringList& arguments)
{
    stop();
    QFile::remove(outputFile());
    m_live = std::make_unique<QProcess>();
    prepare(*m_live, arguments);
    m_live->setStandardOutputFile(outputFile());
    m_live->setProcessChannelMode(QProcess::MergedChannels);
    m_live->start();
    return m_live->waitForStarted(10000);
}

bool BuiltProgram::startCapture(const QStringList& extra)
{
    if (!start(QStringList{QStringLiteral("--interface"), QStringLiteral("lo")} + extra))
        return false;
    settle(1500);
    return running();
}

bool BuiltProgram::running() const
{
    return m_live && m_live->state() == QProcess::Running;
}

qint64 BuiltProgram::pid() const
{
    return m_live ? m_live->processId() : 0;
}

QByteArray BuiltProgram::output() const
{
    QFile file(outputFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool BuiltProgram::waitFor(const std::function<bool(const QByteArray&)>& condition, int timeoutMs) const
{
    // The run's end is seen through events, so they are processed while waiting.
    return QTest::qWaitFor([&] { return condition(output()) || !running(); }, timeoutMs) && condition(output());
}

bool BuiltProgram::waitForOutput(const QByteArray& text, int timeoutMs) const
{
    return waitFor([&](const QByteArray& output) { return output.contains(text); }, timeoutMs);
}

void BuiltProgram::settle(int ms) const
{
    if (m_live)
        m_live->waitForFinished(ms);
}

int BuiltProgram::waitForExit(int ms)
{
    if (!m_live || !m_live->waitForFinished(ms) || m_live->exitStatus() != QProcess::NormalExit)
        return -1;
    return m_live->exitCode();
}

int BuiltProgram::stop(int graceMs)
{
    if (!m_live)
        return -1;
    const int code = TestProcess::end(*m_live, graceMs);
    m_live.reset();
    return code;
}

void BuiltProgram::kill()
{
    if (!m_live)
        return;
    m_live->kill();
    m_live->waitForFinished(10000);
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

QString BuiltProgram::downloadBase(const QByteArray& output, const QString& url)
{
    const std::optional<Row> row = firstRow(output, url);
    return row ? row->base : QString();
}

int BuiltProgram::downloadRows(const QByteArray& output, const QString& url)
{
    int rows = 0;
    for (const QByteArray& line : output.split('\n'))
        rows += rowOf(line, url.toUtf8()) ? 1 : 0;
    return rows;
}

bool BuiltProgram::waitForDownload(const QString& url, int timeoutMs) const
{
    return waitFor(
        [&](const QByteArray& output) {
            const std::optional<Row> row = firstRow(output, url);
            return row && output.contains("\ndownload " + row->index + ": removed\n");
        },
        timeoutMs);
}
