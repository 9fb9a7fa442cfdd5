#pragma once

#include <QString>
#include <QStringList>

// What the main window's commands ask the user or tell them. The window answers with dialogs
// (DialogPrompts); a test answers at once, without a modal dialog.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // Yes or no to question, which may carry a title read from the network.
    virtual bool confirm(const QString& question) = 0;
    // The folder to export into; empty when cancelled.
    virtual QString chooseExportFolder() = 0;
    // The files to import; empty when cancelled.
    virtual QStringList chooseImportFiles() = 0;
    // "Saved to path" (a file, or the folder of several), without blocking.
    virtual void showSaved(const QString& path) = 0;
    // A message the user reads and closes.
    virtual void inform(const QString& text) = 0;

protected:
    Prompts() = default;
    Prompts(const Prompts&) = default;
    Prompts& operator=(const Prompts&) = default;
};
