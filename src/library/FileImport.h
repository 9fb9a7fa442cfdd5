#pragma once

#include "library/LibraryContext.h"

#include <QStringList>

// Files the user brings in through the open-file dialog or by dropping them on the main window:
// each is copied to "Videos/" under the current second (plus its place in the list) and titled
// with its own name. The dialogs and the drop handling belong to the windows.
namespace FileImport {

// Copies every file (the dialog's filter already chose them). Returns how many were copied.
int importChosen(const LibraryContext& context, const QStringList& paths);

// Copies the dropped files whose extension is one of the importable ones and ignores the rest.
// Returns how many files were dropped that could be imported.
int importDropped(const LibraryContext& context, const QStringList& paths);

} // namespace FileImport
