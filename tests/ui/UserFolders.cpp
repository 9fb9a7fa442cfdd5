#include "UserFolders.h"

#include <QDir>
#include <QFile>

UserFolders::UserFolders()
    : m_savedConfig(qgetenv("XDG_CONFIG_HOME"))
    , m_hadConfig(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
{
    const QString config = m_dir.path() + QStringLiteral("/config");
    QDir().mkpath(config);
    QDir().mkpath(videos());
    QDir().mkpath(documents());
    // Pictures is left to be made by whoever first writes there.
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::WriteOnly)) {
        dirs.write("XDG_PICTURES_DIR=\"" + QFile::encodeName(pictures()) + "\"\n");
        dirs.write("XDG_VIDEOS_DIR=\"" + QFile::encodeName(videos()) + "\"\n");
        dirs.write("XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(documents()) + "\"\n");
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
}

UserFolders::~UserFolders()
{
    if (m_hadConfig)
        qputenv("XDG_CONFIG_HOME", m_savedConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");
}
