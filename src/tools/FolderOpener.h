#pragma once

#include <QByteArray>
#include <QString>

// Whether "open this folder" can be handed to the desktop: xdg-open opens a folder with the
// program that `xdg-mime query default inode/directory` names, and falls back to a web
// browser when none is named. A folder is offered for opening only when that program exists
// and is no web browser; otherwise the window shows the path instead.
namespace FolderOpener {

// The most read of xdg-mime's answer and of a desktop entry.
constexpr qsizetype MaxAnswer = 4096;
constexpr qsizetype MaxDesktopEntry = 64 * 1024;

struct Handler
{
    QString desktopId; // "org.gnome.Nautilus.desktop"; empty when none is set
    QString path;      // its desktop entry; empty when it is not installed
    bool browser = false;

    bool opensFolders() const { return !path.isEmpty() && !browser; }
};

// Asks xdg-mime (a child process of a few tens of milliseconds: not on the interface thread).
Handler folderHandler();

// A desktop id as xdg-mime prints it ("name.desktop", letters, digits, ".", "-", "_", "+"),
// or the empty text for anything else.
QString desktopIdFrom(const QString& answer);
// True when the entry's Categories name "WebBrowser" or it handles http addresses.
bool isBrowserEntry(const QByteArray& entry);
// The entry of a desktop id under $XDG_DATA_HOME and $XDG_DATA_DIRS ("applications/").
QString findDesktopEntry(const QString& desktopId);

} // namespace FolderOpener
