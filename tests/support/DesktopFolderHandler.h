#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A desktop of the test's own for `xdg-mime query default inode/directory`: the XDG folders of
// this process point into a temporary folder whose mimeapps.list names a file manager, a web
// browser or nothing for folders, and an xdg-open stub is first on PATH (XdgOpenStub). The
// process environment is restored when the object goes.
class DesktopFolderHandler final
{
public:
    enum class Kind
    {
        FileManager,
        Browser,
        BrowserOnly, // no default for folders; a browser that lists them is installed
        None,
    };

    explicit DesktopFolderHandler(Kind kind);
    ~DesktopFolderHandler();
    DesktopFolderHandler(const DesktopFolderHandler&) = delete;
    DesktopFolderHandler& operator=(const DesktopFolderHandler&) = delete;

    bool valid() const { return m_valid; }
    // What the xdg-open stub was asked to open, one line each.
    QString xdgOpenLog() const;
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_saved;
    bool m_valid = false;
};
