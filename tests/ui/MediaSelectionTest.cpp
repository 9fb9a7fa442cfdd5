#include "ui/mainwindow/MediaSelection.h"
#include "library/MediaTableModel.h"

#include <QItemSelectionModel>

#include <gtest/gtest.h>

namespace {

// Three rows, newest first: "c" (row 0), "b", "a".
class MediaSelectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"a", "b", "c"}) {
            MediaRow row;
            row.title = QString::fromLatin1(name);
            row.path = QStringLiteral("/videos/") + row.title + QStringLiteral(".mp4");
            m_model.insertTop(row);
        }
    }
    void check(int row) { m_model.setData(m_model.index(row, 0), Qt::Checked, Qt::CheckStateRole); }

    MediaTableModel m_model;
    QItemSelectionModel m_selectionModel{&m_model};
    MediaSelection m_selection{m_model, m_selectionModel};
};

TEST_F(MediaSelectionTest, CommandsActOnSeveralCheckedRowsElseOnTheSelectedOne)
{
    EXPECT_EQ(m_selection.selectedRow(), -1);
    EXPECT_TRUE(m_selection.rowsToActOn().isEmpty());

    // One checked row without a selection: nothing, not the checked row.
    check(2);
    EXPECT_EQ(m_selection.checkedRows(), QList<int>{2});
    EXPECT_TRUE(m_selection.rowsToActOn().isEmpty());

    m_selection.selectRow(0);
    EXPECT_EQ(m_selection.rowsToActOn(), QList<int>{0});

    // Two checked rows win over the selection, in table order.
    check(1);
    EXPECT_EQ(m_selection.rowsToActOn(), (QList<int>{1, 2}));
}

TEST_F(MediaSelectionTest, RowsOutsideTheTableChangeNothing)
{
    m_selection.selectRow(1);
    for (const int row : {-1, 3, 1000}) {
        m_selection.selectRow(row);
        EXPECT_EQ(m_selection.selectedRow(), 1) << row;
        EXPECT_TRUE(m_selection.pathOfRow(row).isEmpty()) << row;
    }
    EXPECT_EQ(m_selection.pathOfRow(1), QStringLiteral("/videos/b.mp4"));
    // The mark is the whole row, whichever column was current before.
    EXPECT_TRUE(m_selectionModel.isRowSelected(1, {}));

    // A removed row takes the mark with it; the rows below move up.
    m_model.removePath(QStringLiteral("/videos/c.mp4"));
    EXPECT_EQ(m_selection.pathOfRow(m_selection.selectedRow()), QStringLiteral("/videos/b.mp4"));
}

} // namespace
