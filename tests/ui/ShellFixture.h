#pragma once

#include "base/Settings.h"
#include "engine/Engine.h"
#include "library/MediaTableModel.h"
#include "ui/mainwindow/DialogPrompts.h"
#include "ui/mainwindow/LibraryActions.h"
#include "ui/mainwindow/Page2.h"
#include "ui/mainwindow/Prompts.h"

#include <QTemporaryDir>

#include <memory>

// A main window over a temporary data folder and settings store, with library rows whose
// files exist on disk. The window never ends the process: closing it only counts. The fixture
// answers the window's questions itself: no modal dialog opens; "Saved to" is recorded and
// shown as the window shows it (it does not block).
class ShellFixture final : public Prompts
{
public:
    ShellFixture();
    ~ShellFixture() override;
    ShellFixture(const ShellFixture&) = delete;
    ShellFixture& operator=(const ShellFixture&) = delete;

    bool confirm(const QString& question) override;
    QString chooseExportFolder() override { return exportFolder; }
    QStringList chooseImportFiles() override { return importFiles; }
    void showSaved(const QString& path) override;
    void inform(const QString& text) override { informed << text; }

    // Adds a row (and its file) at the top of the table; returns the file's path.
    QString addRow(const QString& title, const QString& baseName, const QString& author = {});
    void writeSlideshow(const QStringList& videos);
    // Waits for the start's library scan and lets its result reach the table, so that rows a
    // test adds afterwards stay.
    void settle();

    Settings& settings() { return *m_settings; }
    Page2& page() { return *m_page; }
    // Closes the window for good; the engine and the data folder stay.
    void destroyPage() { m_page.reset(); }
    MediaTableModel& model() { return m_engine.mediaTable(); }
    Engine& engine() { return m_engine; }
    QString dataDir() const { return m_dir.path() + QLatin1Char('/'); }

    QStringList questions;
    bool answer = true;
    QString exportFolder;    // empty: the folder dialog was cancelled
    QStringList importFiles; // empty: the open-file dialog was cancelled
    QStringList saved;       // every "Saved to" path
    QStringList informed;
    int exits = 0;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    Engine m_engine;
    std::unique_ptr<Page2> m_page;
    std::unique_ptr<DialogPrompts> m_dialogs;
};
