#include "base/AppPaths.h"

#include <QDir>
#include <QMutex>
#include <QStandardPaths>

namespace AppPaths {
namespace {

QMutex g_mutex;
QString g_dataDir;

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

QString chooseDataDir(const QString& explicitDir)
{
    QString dir = explicitDir;
    if (dir.isEmpty())
        dir = qEnvironmentVariable("TRAWLIX_HOME");
    if (dir.isEmpty()) {
        QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
        if (xdg.isEmpty())
            xdg = QDir::homePath() + QStringLiteral("/.local/share");
        return QDir::cleanPath(xdg + QStringLiteral("/Trawlix"));
    }
    return QDir::cleanPath(QDir(dir).absolutePath());
}

void setDataDir(const QString& dir)
{
    const QString absolute = QDir::cleanPath(QDir(dir).absolutePath());
    QDir().mkpath(absolute);
    QMutexLocker lock(&g_mutex);
    g_dataDir = withSlash(absolute);
}

QString dataDir()
{
    QMutexLocker lock(&g_mutex);
    Q_ASSERT_X(!g_dataDir.isEmpty(), "AppPaths::dataDir", "setDataDir() was not called");
    return g_dataDir;
}

bool hasDataDir()
{
    QMutexLocker lock(&g_mutex);
    return !g_dataDir.isEmpty();
}

QString folderName(Folder which)
{
    switch (which) {
    case Folder::Videos:
        return QStringLiteral("Videos");
    case Folder::Temp:
        return QStringLiteral("Temp");
    case Folder::TempRecords:
        return QStringLiteral("TempRecords");
    case Folder::TempDownloads:
        return QStringLiteral("TempDownloads");
    case Folder::TempExport:
        return QStringLiteral("TempExport");
    case Folder::FavIcons:
        return QStringLiteral("FavIcons");
    case Folder::Screens:
        return QStringLiteral("Screens");
    case Folder::Icons32:
        return QStringLiteral("32x32");
    case Folder::Icons16:
        return QStringLiteral("16x16");
    case Folder::Thumbnails:
        return QStringLiteral("160x90");
    }
    return {};
}

QString folder(Folder which)
{
    return dataDir() + folderName(which) + QLatin1Char('/');
}

QString file(const QString& name)
{
    return dataDir() + name;
}

QString settingsPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/Trawlix/Trawlix.conf"));
}

QString documentsDir()
{
    return withSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) + QStringLiteral("Trawlix/");
}

} // namespace AppPaths
