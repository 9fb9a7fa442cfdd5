#include "ui/mainwindow/MediaViews.h"

#include "base/AppPaths.h"
#include "library/MediaTableModel.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPixmapCache>

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace {

// The icon view shows each file's 160x90 thumbnail at 16:9, as the thumbnail strip does; a file
// without one keeps its square list icon, centred. Nothing is stretched to a shape it lacks.
class ThumbnailDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
        const QPixmap thumbnail = thumbnailOf(index.data(MediaTableModel::PathRole).toString());
        if (!thumbnail.isNull()) {
            option->icon = QIcon(thumbnail);
            option->decorationSize = MediaIconView::ThumbnailSize;
            return;
        }
        const QImage large = index.data(MediaTableModel::LargeImageRole).value<QImage>();
        if (!large.isNull()) {
            option->icon = QIcon(QPixmap::fromImage(large));
            option->decorationSize = large.size();
        }
    }

private:
    // Read once per file and kept in the pixmap cache. The picture is the program's own, but it
    // lies in a folder others can write to: a file past the bound is not decoded.
    static QPixmap thumbnailOf(const QString& mediaPath)
    {
        if (mediaPath.isEmpty())
            return {};
        const QString picture = AppPaths::folder(AppPaths::Folder::Thumbnails) +
                                QFileInfo(mediaPath).completeBaseName() + QStringLiteral(".jpg");
        const QString key = QStringLiteral("trawlix-thumb:") + picture;
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap))
            return pixmap;
        const QFileInfo info(picture);
        if (info.isFile() && info.size() <= MediaIconView::LargestThumbnailBytes) {
            QImageReader reader(picture);
            if (reader.size().isValid() && reader.size().width() <= 1920 && reader.size().height() <= 1080) {
                const QImage image = reader.read();
                if (!image.isNull())
                    pixmap = QPixmap::fromImage(
                        image.scaled(MediaIconView::ThumbnailSize * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            }
        }
        // A picture not made yet is looked for again at the next paint.
        if (!pixmap.isNull())
            QPixmapCache::insert(key, pixmap);
        return pixmap;
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
    setIconSize(ThumbnailSize);
    setGridSize(ThumbnailSize + QSize(24, 44)); // the title's two lines below the picture
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setItemDelegate(new ThumbnailDelegate(this));
}

MediaIconView::~MediaIconView() = default;

void MediaIconView::startDrag(Qt::DropActions)
{
    if (dragHandler)
        dragHandler();
}
