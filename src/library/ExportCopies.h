#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// Copies of library files outside the library: those made for a drag out of the main window, in
// "TempExport/", and those the user exports to a folder of their own. The drop target may read
// a drag copy after the drag has ended (a file manager copies in its own time), so such a copy
// goes once no process holds it open, and whatever is left goes at the next start.
namespace ExportCopies {

struct Item
{
    QString source; // the library file
    QString name;   // the copy's file name (no folder)
};

// Copies every item into "TempExport/", replacing an earlier copy of the same name. Blocks the
// calling thread, which is never the interface thread. progress (may be empty) gets whole
// percentages of all the bytes; a set stop flag (may be null) ends the work, the copy under way
// removed. Returns the paths of the copies made, in order.
QStringList make(const QList<Item>& items,
                 const std::function<void(int percent)>& progress = {},
                 const std::atomic<bool>* stop = nullptr);

// Copies every item into folder under its name or, when a file there has it, the first free
// "name (N).ext": nothing in the folder is ever replaced, and a copy appears whole or not at
// all. Blocks, reports and stops as make(). Returns the paths of the copies made, in order.
QStringList copyInto(const QList<Item>& items,
                     const QString& folder,
                     const std::function<void(int percent)>& progress = {},
                     const std::atomic<bool>* stop = nullptr);

// Removes the copies no process holds open; returns those that stay.
QStringList removeUnlessOpen(const QStringList& copies);

// Removes every entry of "TempExport/" but folders (a link as a link) that no process holds
// open. Returns how many entries stay.
int clean();

} // namespace ExportCopies
