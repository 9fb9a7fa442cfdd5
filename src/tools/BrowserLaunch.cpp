#include "tools/BrowserLaunch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int kDesktopQueryMs = 3000;
constexpr qint64 kMaxDesktopFile = 64 * 1024;

// The program of a desktop entry's Exec line: its first word, without quotes.
QString execProgram(const QString& desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDesktopFile)
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char('"'));
    }
    return {};
}

QString onPath(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/'))) {
        const QFileInfo info(name);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(name);
}

} // namespace

const QStringList& BrowserLaunch::commonNames()
{
    static const QStringList names = {
        QStringLiteral("firefox"),          QStringLiteral("firefox-esr"),           QStringLiteral("chromium"),
        QStringLiteral("chromium-browser"), QStringLiteral("google-chrome-stable"),  QStringLiteral("google-chrome"),
        QStringLiteral("brave-browser"),    QStringLiteral("microsoft-edge-stable"), QStringLiteral("vivaldi-stable"),
    };
    return names;
}

BrowserLaunch::Family BrowserLaunch::familyOf(const QString& program)
{
    const QString name = QFileInfo(program).fileName().toLower();
    for (const char* firefox : {"firefox", "librewolf", "iceweasel", "waterfox", "floorp"}) {
        if (name.contains(QLatin1String(firefox)))
            return Family::Firefox;
    }
    for (const char* chromium : {"chrom", "brave", "edge", "vivaldi", "opera", "yandex"}) {
        if (name.contains(QLatin1String(chromium)))
            return Family::Chromium;
    }
    return Family::Other;
}

QString BrowserLaunch::defaultFromDesktop()
{
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-settings"));
    if (query.isEmpty())
        return {};
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(query, {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!process.waitForFinished(kDesktopQueryMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    const QString entry = QString::fromUtf8(process.readAllStandardOutput().left(256)).trimmed();
    if (!entry.endsWith(QLatin1String(".desktop")) || entry.contains(QLatin1Char('/')))
        return {};
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QString file = folder + QLatin1Char('/') + entry;
        if (QFileInfo::exists(file))
            return execProgram(file);
    }
    return {};
}

std::optional<BrowserLaunch::Browser> BrowserLaunch::find(const QString& name, QString& error)
{
    QString program;
    if (!name.isEmpty()) {
        program = onPath(name);
        if (program.isEmpty()) {
            error = QStringLiteral("no browser called ") + name;
            return std::nullopt;
        }
    } else {
        QStringList candidates = qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        for (QString& candidate : candidates)
            candidate = candidate.section(QLatin1Char(' '), 0, 0);
        candidates << defaultFromDesktop() << commonNames();
        for (const QString& candidate : std::as_const(candidates)) {
            // The desktop's opener is no browser: it would hand the address to one without the key log.
            if (QFileInfo(candidate).fileName() == QLatin1String("xdg-open"))
                continue;
            program = onPath(candidate);
            if (!program.isEmpty())
                break;
        }
        if (program.isEmpty()) {
            error = QStringLiteral("no web browser found (name one: trawlix --browser firefox)");
            return std::nullopt;
        }
    }
    return Browser{program, familyOf(program)};
}

QStringList BrowserLaunch::arguments(Family family, const QString& keyLog, const QString& url)
{
    QStringList arguments;
    if (family == Family::Chromium)
        arguments << QStringLiteral("--ssl-key-log-file=") + keyLog << QStringLiteral("--disable-quic")
                  << QStringLiteral("--disable-features=EncryptedClientHello");
    if (family == Family::Firefox)
        arguments << QStringLiteral("--new-window");
    if (!url.isEmpty())
        arguments << url;
    return arguments;
}

QProcessEnvironment BrowserLaunch::environment(const QProcessEnvironment& base, const QString& keyLog)
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("SSLKEYLOGFILE"), keyLog);
    return environment;
}

bool BrowserLaunch::running(const Browser& browser)
{
    // Linux shortens a process's name to 15 bytes.
    const QByteArray wanted = QFile::encodeName(QFileInfo(browser.program).fileName()).left(15);
    const QByteArray target = QFile::encodeName(QFileInfo(browser.program).canonicalFilePath());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool number = false;
        if (pid.toLongLong(&number) <= 0 || !number || pid.toLongLong() == QCoreApplication::applicationPid())
            continue;
        QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.read(64).trimmed() == wanted)
            return true;
        if (QFile::encodeName(QFileInfo(QStringLiteral("/proc/") + pid + QStringLiteral("/exe")).canonicalFilePath()) ==
            target)
            return true;
    }
    return false;
}

bool BrowserLaunch::start(const Browser& browser, const QString& keyLog, const QString& url, QString& error)
{
    QProcess process;
    process.setProgram(browser.program);
    process.setArguments(arguments(browser.family, keyLog, url));
    process.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment(), keyLog));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        error = browser.program + QStringLiteral(": ") + process.errorString();
        return false;
    }
    return true;
}
