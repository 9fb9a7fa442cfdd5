#include "engine/KeyLogLocation.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "tools/BrowserLaunch.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first line of the environment file: how Trawlix knows the file is its own.
const QByteArray kEnvironmentMark = "# Written by Trawlix: every program of this login writes its TLS keys for it.";

QString systemError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// The folder exists, is a folder (not a link), is the user's and only the user's.
bool privateFolder(const QString& path, QString& error)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        error = systemError(path);
        return false;
    }
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0) {
        error = systemError(path);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        error = path + QStringLiteral(" is not a folder of this user");
        return false;
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0) {
        error = systemError(path);
        return false;
    }
    return true;
}

} // namespace

KeyLogLocation::Choice KeyLogLocation::choose(const QString& commandLine, const QString& setting, bool live)
{
    if (!commandLine.isEmpty())
        return {commandLine, false};
    if (!setting.trimmed().isEmpty())
        return {setting.trimmed(), false};
    if (live)
        return {ownPath(), true};
    return {};
}

QString KeyLogLocation::ownPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/trawlix/tls-keys.log");
}

QString KeyLogLocation::missingKeysNotice()
{
    return tx(u"HTTPS was seen without its keys, so its media cannot be caught. Start the browser with "
              u"\"Open a browser for capture\" (trawlix --browser), or name its key log in the settings.");
}

QString KeyLogLocation::firstStartNotice()
{
    return tx(u"To catch media on HTTPS sites, start your browser with \"Open a browser for capture\" "
              u"(close it first if it is running): it then tells Trawlix its TLS keys.");
}

bool KeyLogLocation::prepareOwn(QString& error, bool empty)
{
    const QString path = ownPath();
    if (!privateFolder(path.section(QLatin1Char('/'), 0, -2), error))
        return false;
    // Emptied in place: a browser still running from the last session keeps appending to it.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | (empty ? O_TRUNC : 0) | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = systemError(path);
        return false;
    }
    struct stat info = {};
    const bool mine = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
                      ((info.st_mode & 0777) == 0600 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    if (!mine) {
        error = path + QStringLiteral(" is not a file of this user");
        return false;
    }
    return true;
}

KeyLogLocation::BrowserStart KeyLogLocation::startBrowser(const QString& name, const QString& url, const Choice& keyLog)
{
    BrowserStart result;
    QString error;
    if (keyLog.path.isEmpty()) {
        result.message = tx(u"No key log to write to.");
        return result;
    }
    if (keyLog.own && !prepareOwn(error, false)) {
        result.message = error;
        return result;
    }
    const std::optional<BrowserLaunch::Browser> browser = BrowserLaunch::find(name, error);
    if (!browser) {
        result.message = error;
        return result;
    }
    result.alreadyRunning = BrowserLaunch::running(*browser);
    if (!BrowserLaunch::start(*browser, keyLog.path, url, error)) {
        result.message = error;
        return result;
    }
    result.started = true;
    result.message = tx(u"Started %1: it writes its TLS keys to %2.").arg(browser->program, keyLog.path);
    if (result.alreadyRunning)
        result.message += QLatin1Char(' ') + tx(u"It was running already, so its pages may not be caught "
                                                u"until it is closed and started again from here.");
    return result;
}

QString KeyLogLocation::environmentFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/environment.d/60-trawlix-tls-keys.conf");
}

bool KeyLogLocation::environmentApplied()
{
    QFile file(environmentFile());
    return file.open(QIODevice::ReadOnly) && file.readLine(4096).trimmed() == kEnvironmentMark;
}

bool KeyLogLocation::applyEnvironment(bool on, QString& error)
{
    const QString path = environmentFile();
    const bool ours = environmentApplied();
    if (!on) {
        if (ours && !QFile::remove(path)) {
            error = path + QStringLiteral(" could not be removed");
            return false;
        }
        return true;
    }
    if (QFile::exists(path) && !ours) {
        error = path + QStringLiteral(" exists and was not written by Trawlix");
        return false;
    }
    if (!QDir().mkpath(path.section(QLatin1Char('/'), 0, -2))) {
        error = systemError(path);
        return false;
    }
    // The path as it is now: the runtime folder is the same for every login of this user.
    const QByteArray target = QFile::encodeName(ownPath());
    if (target.contains('\n') || target.contains('"') || target.contains('$') || target.contains('\\')) {
        error = QStringLiteral("the key log's path cannot be written into an environment file");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(kEnvironmentMark +
                   "\n# Switch it off in Trawlix's settings.\n"
                   "SSLKEYLOGFILE=\"" +
                   target + "\"\n") < 0 ||
        !file.commit()) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    trace(QStringLiteral("Key log: environment file written"));
    return true;
}
