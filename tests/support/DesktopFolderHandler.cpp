#include "support/DesktopFolderHandler.h"

#include "support/XdgOpenStub.h"

#include <QDir>
#include <QFile>

namespace {

const char* const kVariables[] = {"XDG_CONFIG_HOME",  "XDG_CONFIG_DIRS",          "XDG_DATA_HOME",
                                  "XDG_DATA_DIRS",    "XDG_CURRENT_DESKTOP",      "DESKTOP_SESSION",
                                  "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "PATH"};

bool writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

DesktopFolderHandler::DesktopFolderHandler(Kind kind)
{
    for (const char* name : kVariables) {
        if (qEnvironmentVariableIsSet(name))
            m_saved.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    if (!m_dir.isValid())
        return;
    const QString config = m_dir.filePath(QStringLiteral("config"));
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QByteArray defaults = "[Default Applications]\n";
    if (kind == Kind::FileManager)
        defaults += "inode/directory=testfiles.desktop\n";
    else if (kind == Kind::Browser)
        defaults += "inode/directory=testbrowser.desktop\n";
    // Without a handler for folders no file manager is installed; BrowserOnly leaves a browser
    // that lists folders, which xdg-mime then falls back to.
    const bool fileManager = kind == Kind::FileManager || kind == Kind::Browser;
    const bool browser = kind != Kind::None;
    const QString applications = data + QStringLiteral("/applications");
    m_valid = writeFile(config + QStringLiteral("/mimeapps.list"), defaults) && QDir().mkpath(applications);
    if (fileManager)
        m_valid = m_valid && writeFile(applications + QStringLiteral("/testfiles.desktop"),
                                       "[Desktop Entry]\nType=Application\nName=Files\nExec=true %U\n"
                                       "Categories=System;FileTools;FileManager;\nMimeType=inode/directory;\n");
    if (browser)
        m_valid = m_valid && writeFile(applications + QStringLiteral("/testbrowser.desktop"),
                                       "[Desktop Entry]\nType=Application\nName=Browser\nExec=true %U\n"
                                       "Categories=Network;WebBrowser;\nMimeType=text/html;x-scheme-handler/http;"
                                       "x-scheme-handler/https;inode/directory;\n");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    m_valid = m_valid && XdgOpenStub::install(m_dir.filePath(QStringLiteral("bin")), environment);
    qputenv("PATH", environment.value(QStringLiteral("PATH")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", config.toLocal8Bit());
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    qputenv("XDG_DATA_DIRS", data.toLocal8Bit());
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        qunsetenv(name);
}

DesktopFolderHandler::~DesktopFolderHandler()
{
    for (const char* name : kVariables) {
        const QString key = QString::fromLatin1(name);
        if (m_saved.contains(key))
            qputenv(name, m_saved.value(key).toLocal8Bit());
        else
            qunsetenv(name);
    }
}

QString DesktopFolderHandler::xdgOpenLog() const
{
    QFile log(m_dir.filePath(QStringLiteral("bin/xdg-open.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}
