#include "ui/mainwindow/MediaSelection.h"

#include "library/MediaTableModel.h"

#include <QItemSelectionModel>

MediaSelection::MediaSelection(MediaTableModel& model, QItemSelectionModel& selection)
    : m_model(model)
    , m_selection(selection)
{}

int MediaSelection::selectedRow() const
{
    const QModelIndex current = m_selection.currentIndex();
    return current.isValid() ? current.row() : -1;
}

void MediaSelection::selectRow(int row)
{
    if (row < 0 || row >= m_model.rowCount())
        return;
    m_selection.setCurrentIndex(m_model.index(row, MediaTableModel::TitleColumn),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QList<int> MediaSelection::checkedRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.rowAt(row).checked)
            rows << row;
    }
    return rows;
}

QString MediaSelection::pathOfRow(int row) const
{
    if (row < 0 || row >= m_model.rowCount())
        return {};
    return m_model.rowAt(row).path;
}

QList<int> MediaSelection::rowsToActOn() const
{
    const QList<int> checked = checkedRows();
    if (checked.size() >= 2)
        return checked;
    const int selected = selectedRow();
    return selected >= 0 ? QList<int>{selected} : QList<int>{};
}
