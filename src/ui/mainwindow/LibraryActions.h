#pragma once

#include "ui/controls/ShellCommand.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>

class Engine;
class MediaIconView;
class MediaSelection;
class MediaTableModel;
class MediaTableView;
class PlayerController;
class Prompts;
class QAbstractItemView;
class QLineEdit;
class QMenu;
class QMimeData;
class QPoint;
class QWidget;

// The main window's commands on library files: delete, rename, export, import, drag out,
// checks, sorting, and the table's context menu. It works on the media table through its
// model, its selection and its two views (the rename editor opens over the one shown); what
// the window itself must do, it asks for by signals.
class LibraryActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LibraryActions)

public:
    struct Views
    {
        MediaTableView& table;
        MediaIconView& icons;
    };

    // Menus and drags open over parent, which owns the object.
    LibraryActions(MediaTableModel& model,
                   MediaSelection& selection,
                   Views views,
                   Prompts& prompts,
                   Engine& engine,
                   PlayerController& player,
                   QWidget* parent);
    ~LibraryActions() override;

    void deleteMedia();
    void renameMedia();
    void finishRename(const QString& path, const QString& title);
    void exportMedia();
    // Copies the rows to export into folder on the engine's job pool; exported() follows.
    void exportMediaTo(const QString& folder);
    // "Import": the chosen files are copied on the engine's worker; a rescan follows.
    void importFiles();
    void importDropped(const QStringList& paths);
    // Drag out: the selected and checked rows' files are copied into "TempExport/" on a worker
    // thread; the drag starts once the copies are there, and they go after it. The window
    // starts one only while drag and drop is on in the settings.
    void startDragOut();
    bool exportRunning() const { return m_exporting; }
    // Runs the drag of the copies (takes the data); by default a QDrag while the button is held.
    std::function<void(QMimeData* data)> runDrag;
    // How long the copies of a drag wait after it before they go, and between later tries
    // while a drop target still reads them.
    int dragCopiesGraceMs = 30000;

    void setAllChecked(bool checked);
    void invertChecks();
    void sortByHeader(int column);
    void sortDescending(int column);

    QMenu* buildContextMenu(int row);
    void showContextMenu(QAbstractItemView* view, const QPoint& position);
    void tableClicked(QAbstractItemView* view, const QPoint& position);
    // Delete, F2, F4 and F5 in the table; false for every other key.
    bool handleTableKey(int key);

signals:
    // An export ended with these copies (none when nothing could be copied).
    void exported(const QStringList& copies);
    // A command of the context menu or a key that the window's controls also offer.
    void commandTriggered(ShellCommand command);
    // The library should be read again with the filters' values (after an import).
    void rescanRequested();
    // The caption shows a drag's progress; captionRestored() gives the window its name back.
    void captionChanged(const QString& caption);
    void captionRestored();
    // Several rows went: the thumbnail strip should read its list again.
    void stripReloadRequested();

protected:
    // Escape in the rename editor drops the edit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool iconView() const;
    // A row's copy name: its cleaned title without the extension.
    QString copyStem(int row) const;
    void exportDone(const QStringList& copies);
    void dragCopiesReady(const QStringList& copies);
    void removeDragCopies(const QStringList& copies, int retries);

    MediaTableModel& m_model;
    MediaSelection& m_selection;
    Views m_views;
    Prompts& m_prompts;
    QWidget* m_parent;
    Engine& m_engine;
    PlayerController& m_player;
    QPointer<QLineEdit> m_renameEditor;
    int m_sortColumn = 1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    // The drag copies' worker; joined before the object goes.
    QThreadPool m_exportPool;
    std::atomic<bool> m_exportStop{false};
    QStringList m_madeCopies; // the worker's last result
    QString m_exportFolder;   // of the last export, ending in "/"
    bool m_exporting = false;
};
