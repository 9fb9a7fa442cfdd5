#pragma once

#include "ui/mainwindow/Prompts.h"

class QWidget;

// The main window's prompts as dialogs over parent: a yes/no box, the folder and open-file
// dialogs starting in the user's own folders (never the data folder, the program's working
// folder), and the "Saved to" message.
class DialogPrompts final : public Prompts
{
public:
    explicit DialogPrompts(QWidget* parent);

    bool confirm(const QString& question) override;
    QString chooseExportFolder() override;
    QStringList chooseImportFiles() override;
    void showSaved(const QString& path) override;
    void inform(const QString& text) override;

private:
    QWidget* m_parent;
};
