#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class Engine;
class Page2;
class PlayerGlue;
class QAbstractItemView;
class QLineEdit;
class QMenu;
class QPoint;

// The main window's commands on library files: delete, rename, export, import, drag out,
// checks, sorting, and the table's and the download list's context menus.
class LibraryActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LibraryActions)

public:
    LibraryActions(Page2& window, Engine& engine, PlayerGlue& player);

    void deleteMedia();
    void renameMedia();
    void finishRename(const QString& path, const QString& title);
    void exportMedia();
    void exportMediaTo(const QString& folder);
    // "Import": the chosen files are copied on the engine's worker; a rescan follows.
    void importFiles();
    void importDropped(const QStringList& paths);
    void startDragOut();

    void setAllChecked(bool checked);
    void invertChecks();
    void sortByHeader(int column);
    void sortDescending(int column);

    QMenu* buildContextMenu(int row);
    void showContextMenu(QAbstractItemView* view, const QPoint& position);
    void showDownloadMenu(const QPoint& globalPosition);
    void tableClicked(QAbstractItemView* view, const QPoint& position);
    // Delete, F2, F4 and F5 in the table; false for every other key.
    bool handleTableKey(int key);

protected:
    // Escape in the rename editor drops the edit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<int> rowsToExport() const;
    // Copies rows' files into folder under their cleaned titles, with the caption's progress.
    QStringList copyRows(const QList<int>& rows, const QString& folder, bool replace);

    Page2& m_window;
    Engine& m_engine;
    PlayerGlue& m_player;
    QPointer<QLineEdit> m_renameEditor;
    int m_sortColumn = 1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
