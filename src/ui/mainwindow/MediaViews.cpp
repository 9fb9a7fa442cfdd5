#include "ui/mainwindow/MediaViews.h"

#include "library/MediaTableModel.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace {

// The icon view shows the large (32 x 32) picture of each file.
class LargeIconDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QImage large = index.data(MediaTableModel::LargeImageRole).value<QImage>();
        if (!large.isNull()) {
            option->icon = QIcon(QPixmap::fromImage(large));
            option->decorationSize = large.size();
        }
        option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
    }
};

} // namespace

MediaTableView::MediaTableView(QWidget* parent)
    : QTreeView(parent)
{
    setObjectName(QStringLiteral("mediaTable"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAlternatingRowColors(true);
    setIconSize(QSize(16, 16));
    header()->setSectionsMovable(true);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setStretchLastSection(false);
}

MediaTableView::~MediaTableView() = default;

void MediaTableView::startDrag(Qt::DropActions)
{
    if (dragHandler)
        dragHandler();
}

MediaIconView::MediaIconView(QWidget* parent)
    : QListView(parent)
{
    setObjectName(QStringLiteral("mediaIcons"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWordWrap(true);
    setIconSize(QSize(32, 32));
    setGridSize(QSize(75 + 30, 65 + 20));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setItemDelegate(new LargeIconDelegate(this));
}

MediaIconView::~MediaIconView() = default;

void MediaIconView::startDrag(Qt::DropActions)
{
    if (dragHandler)
        dragHandler();
}
