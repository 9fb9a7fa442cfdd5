#pragma once

#include <QList>
#include <QString>

class MediaTableModel;
class QItemSelectionModel;

// The rows the main window's commands act on: the selection mark (the current row of the
// selection model the table and icon views share) and the checked rows of the media table.
class MediaSelection final
{
public:
    MediaSelection(MediaTableModel& model, QItemSelectionModel& selection);
    MediaSelection(const MediaSelection&) = delete;
    MediaSelection& operator=(const MediaSelection&) = delete;

    // -1 when no row is selected.
    int selectedRow() const;
    // A row outside the table changes nothing.
    void selectRow(int row);
    QList<int> checkedRows() const;
    // Empty outside the table.
    QString pathOfRow(int row) const;
    // Two or more checked rows: all of them; otherwise the selected row, even when exactly one
    // row is checked; none without a selection.
    QList<int> rowsToActOn() const;

private:
    MediaTableModel& m_model;
    QItemSelectionModel& m_selection;
};
