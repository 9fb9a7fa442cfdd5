#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// "Saved to ..." after a main-window command wrote a file (or several into one folder), with an
// "Open folder" button when the desktop has a file manager for folders (FolderOpener: never a web
// browser); without one the message shows the path. The tool windows show the same line inside
// themselves (SavedNotice).
//
// Shows the message for path (a file, or the folder of several files) beside parent, without
// blocking; the box is named "SavedNotice" and goes when closed. Returns it.
QMessageBox* showSavedNotice(QWidget* parent, const QString& path);
