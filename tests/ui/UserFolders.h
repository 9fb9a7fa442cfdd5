#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// The user's Pictures, Videos and Documents folders moved into a temporary folder for the life
// of the object, the way a desktop names them: a "user-dirs.dirs" in $XDG_CONFIG_HOME.
class UserFolders final
{
public:
    UserFolders();
    ~UserFolders();
    UserFolders(const UserFolders&) = delete;
    UserFolders& operator=(const UserFolders&) = delete;

    QString pictures() const { return m_dir.path() + QStringLiteral("/Pictures"); }
    QString videos() const { return m_dir.path() + QStringLiteral("/Videos"); }
    QString documents() const { return m_dir.path() + QStringLiteral("/Documents"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_savedConfig;
    bool m_hadConfig = false;
};
