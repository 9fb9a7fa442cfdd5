#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// "Saved to ..." after a command wrote a file (or several into one folder), with an "Open
// folder" button when the desktop has a file manager for folders. xdg-open hands a folder to
// whatever program is the default for "inode/directory"; with none, or with a web browser in
// that place, it would open a browser, so the notice then shows the path and no button.
namespace SavedNotice {

// The desktop entry xdg-open would start for a folder ("org.gnome.Nautilus.desktop"), when it
// names a program that is not a web browser; empty otherwise (no xdg-mime, no default, a
// browser, an entry that cannot be found).
QString fileManagerEntry();

// Starts xdg-open on folder, detached; false when it could not be started.
bool openFolder(const QString& folder);

} // namespace SavedNotice

// Shows the notice for path (a file, or the folder of several files) beside parent, without
// blocking; the box is named "SavedNotice" and goes when closed. Returns it.
QMessageBox* showSavedNotice(QWidget* parent, const QString& path);
