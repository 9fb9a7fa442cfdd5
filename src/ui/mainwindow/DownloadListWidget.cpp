#include "ui/mainwindow/DownloadListWidget.h"

#include "base/Texts.h"

#include <QHeaderView>
#include <QIcon>
#include <QMenu>

namespace {

constexpr int kRecordRole = Qt::UserRole + 1;

} // namespace

DownloadListWidget::DownloadListWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("downloadList"));
    setColumnCount(3);
    setHeaderLabels({tx(u"Click to cancel/stop download"), tx(u"Progress"), QStringLiteral("ID")});
    setColumnWidth(NameColumn, 310);
    setColumnWidth(ProgressColumn, 70);
    setColumnHidden(IdColumn, true);
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMouseTracking(true);
    header()->setStretchLastSection(false);
    // The two visible columns fit the list's width; the hidden one must not add a scroll bar.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

DownloadListWidget::~DownloadListWidget() = default;

void DownloadListWidget::showCancelMenu(const QPoint& globalPosition)
{
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    const int row = indexOfTopLevelItem(item);
    QMenu menu(this);
    QAction* cancel = menu.addAction(tx(u"Cancel/Stop downloading"));
    if (menu.exec(globalPosition) == cancel)
        emit cancelRequested(row);
}

void DownloadListWidget::queue(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

QTreeWidgetItem* DownloadListWidget::itemOf(qsizetype recordIndex) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->data(NameColumn, kRecordRole).toLongLong() == recordIndex)
            return topLevelItem(i);
    }
    return nullptr;
}

qsizetype DownloadListWidget::recordIndexOfRow(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(NameColumn, kRecordRole).toLongLong() : -1;
}

void DownloadListWidget::rowInserted(qsizetype recordIndex,
                                     const QString& name,
                                     const QString& progress,
                                     const QString& baseName)
{
    queue([this, recordIndex, name, progress, baseName] {
        auto* item = new QTreeWidgetItem({name, progress, baseName});
        item->setData(NameColumn, kRecordRole, qlonglong(recordIndex));
        item->setToolTip(NameColumn, name);
        insertTopLevelItem(0, item);
    });
}

void DownloadListWidget::rowNameChanged(qsizetype recordIndex, const QString& name)
{
    queue([this, recordIndex, name] {
        if (QTreeWidgetItem* item = itemOf(recordIndex)) {
            item->setText(NameColumn, name);
            item->setToolTip(NameColumn, name);
        }
    });
}

void DownloadListWidget::rowIconChanged(qsizetype recordIndex, const QString& iconPath)
{
    queue([this, recordIndex, iconPath] {
        QTreeWidgetItem* item = itemOf(recordIndex);
        const QIcon icon(iconPath);
        if (item && !icon.isNull())
            item->setIcon(NameColumn, icon);
    });
}

void DownloadListWidget::rowProgressChanged(qsizetype recordIndex, const QString& progress)
{
    queue([this, recordIndex, progress] {
        if (QTreeWidgetItem* item = itemOf(recordIndex))
            item->setText(ProgressColumn, progress);
    });
}

void DownloadListWidget::rowRemoved(qsizetype recordIndex)
{
    queue([this, recordIndex] { delete itemOf(recordIndex); });
}

void DownloadListWidget::listVisibilityChanged(bool visible)
{
    queue([this, visible] { emit visibilityRequested(visible); });
}

void DownloadListWidget::captionChanged(const QString& caption)
{
    queue([this, caption] { emit captionRequested(caption); });
}

void DownloadListWidget::flash()
{
    queue([this] { emit attentionRequested(); });
}
