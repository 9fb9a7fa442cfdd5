#include "library/MediaTableModel.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "library/LibraryFormat.h"

#include <QCollator>
#include <QFileInfo>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <numeric>

namespace {

// A grey film frame with a light play triangle: shown for files whose icon is missing.
QImage drawPlaceholder(int side)
{
    QImage image(side, side, QImage::Format_RGB16);
    image.fill(QColor(0x44, 0x4a, 0x52));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int hole = qMax(1, side / 8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x22, 0x25, 0x29));
    for (int y = hole; y + hole <= side; y += hole * 2) {
        painter.drawRect(0, y, hole, hole);
        painter.drawRect(side - hole, y, hole, hole);
    }
    painter.setBrush(QColor(0xe8, 0xe8, 0xe8));
    const QPointF triangle[] = {{side * 0.38, side * 0.28}, {side * 0.38, side * 0.72}, {side * 0.72, side * 0.5}};
    painter.drawPolygon(triangle, 3);
    return image;
}

int compareKeys(const QVariant& a, const QVariant& b)
{
    if (a.typeId() == QMetaType::QString) {
        static thread_local QCollator collator = [] {
            QCollator c;
            c.setCaseSensitivity(Qt::CaseInsensitive);
            c.setNumericMode(true);
            return c;
        }();
        return collator.compare(a.toString(), b.toString());
    }
    const qint64 x = a.toLongLong();
    const qint64 y = b.toLongLong();
    return x < y ? -1 : (x > y ? 1 : 0);
}

} // namespace

MediaTableModel::MediaTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

MediaTableModel::~MediaTableModel() = default;

int MediaTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MediaTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MediaTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const MediaRow& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case TitleColumn:
            return row.title;
        case CaptureTimeColumn:
            return row.captureTime;
        case SizeColumn:
            return row.size;
        case FormatColumn:
            return row.format;
        case DurationColumn:
            return row.duration;
        case AuthorColumn:
            return row.author;
        case PathColumn:
            return row.path;
        default:
            return QString();
        }
    case Qt::DecorationRole:
        return index.column() == TitleColumn ? QVariant(smallImage(row.imageIndex)) : QVariant();
    case LargeImageRole:
        return largeImage(row.imageIndex);
    case Qt::CheckStateRole:
        if (index.column() == TitleColumn)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case SortRole:
        return sortKey(row, index.column());
    case PathRole:
        return row.path;
    case ImageIndexRole:
        return row.imageIndex;
    default:
        return {};
    }
}

bool MediaTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    if (role != Qt::CheckStateRole || index.column() != TitleColumn)
        return false;
    m_rows[index.row()].checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags MediaTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == TitleColumn)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant MediaTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TitleColumn:
        return tx(u"Captured Media Files (Ready to be Dragged and Dropped)");
    case CaptureTimeColumn:
        return tx(u"Capture Time");
    case SizeColumn:
        return tx(u"Size");
    case FormatColumn:
        return tx(u"Format");
    case DurationColumn:
        return tx(u"Duration");
    default:
        return QString();
    }
}

QVariant MediaTableModel::sortKey(const MediaRow& row, int column) const
{
    switch (column) {
    case CaptureTimeColumn:
        return row.captureSeconds;
    case SizeColumn:
        return row.sizeBytes;
    case DurationColumn:
        return qint64(LibraryFormat::durationSeconds(row.duration));
    case FormatColumn:
        return row.format;
    case AuthorColumn:
        return row.author;
    case PathColumn:
        return row.path;
    default:
        return row.title;
    }
}

void MediaTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> permutation(static_cast<size_t>(m_rows.size()));
    std::iota(permutation.begin(), permutation.end(), 0);
    std::stable_sort(permutation.begin(), permutation.end(), [&](int a, int b) {
        const int c = compareKeys(sortKey(m_rows.at(a), column), sortKey(m_rows.at(b), column));
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    QList<MediaRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(permutation.size());
    for (size_t i = 0; i < permutation.size(); ++i) {
        sorted.append(m_rows.at(permutation[i]));
        newRowOf[static_cast<size_t>(permutation[i])] = static_cast<int>(i);
    }
    m_rows = std::move(sorted);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& old : persistent)
        moved.append(index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MediaTableModel::rememberBase(const MediaRow& row)
{
    if (row.imageIndex >= 0 && !m_baseOf.contains(row.imageIndex))
        m_baseOf.insert(row.imageIndex, LibraryFormat::baseOf(row.path));
}

void MediaTableModel::insertTop(const MediaRow& row)
{
    rememberBase(row);
    beginInsertRows({}, 0, 0);
    m_rows.prepend(row);
    endInsertRows();
}

void MediaTableModel::insertTopRows(const QList<MediaRow>& rows)
{
    if (rows.isEmpty())
        return;
    for (const MediaRow& row : rows)
        rememberBase(row);
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    QList<MediaRow> combined;
    combined.reserve(rows.size() + m_rows.size());
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        combined.append(*it);
    combined.append(m_rows);
    m_rows = std::move(combined);
    endInsertRows();
}

void MediaTableModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int MediaTableModel::rowOfPath(const QString& path) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).path == path)
            return static_cast<int>(i);
    }
    return -1;
}

bool MediaTableModel::removePath(const QString& path)
{
    const int row = rowOfPath(path);
    if (row < 0)
        return false;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    return true;
}

bool MediaTableModel::setTitleOfPath(const QString& path, const QString& title)
{
    const int row = rowOfPath(path);
    if (row < 0)
        return false;
    m_rows[row].title = title;
    emit dataChanged(index(row, TitleColumn), index(row, TitleColumn), {Qt::DisplayRole, Qt::ToolTipRole});
    return true;
}

bool MediaTableModel::updateGrowth(const QString& path, qint64 sizeBytes, const QString& duration)
{
    const int row = rowOfPath(path);
    if (row < 0)
        return false;
    MediaRow& target = m_rows[row];
    target.sizeBytes = sizeBytes;
    target.size = LibraryFormat::sizeText(sizeBytes);
    target.duration = duration.left(8);
    emit dataChanged(index(row, SizeColumn), index(row, DurationColumn));
    return true;
}

QStringList MediaTableModel::checkedPaths() const
{
    QStringList paths;
    for (const MediaRow& row : m_rows) {
        if (row.checked)
            paths << row.path;
    }
    return paths;
}

void MediaTableModel::setAllChecked(bool checked)
{
    if (m_rows.isEmpty())
        return;
    for (MediaRow& row : m_rows)
        row.checked = checked;
    emit dataChanged(index(0, TitleColumn), index(rowCount() - 1, TitleColumn), {Qt::CheckStateRole});
}

void MediaTableModel::setImages(qint32 imageIndex, const QImage& large, const QImage& small)
{
    m_large.insert(imageIndex, large);
    m_small.insert(imageIndex, small);
    m_read.insert(imageIndex);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).imageIndex == imageIndex)
            emit dataChanged(index(static_cast<int>(i), TitleColumn), index(static_cast<int>(i), TitleColumn),
                             {Qt::DecorationRole, LargeImageRole});
    }
}

void MediaTableModel::readIcons(qint32 imageIndex) const
{
    if (m_read.contains(imageIndex))
        return;
    m_read.insert(imageIndex);
    const QString base = m_baseOf.value(imageIndex);
    if (base.isEmpty())
        return;
    const QString name = base + QStringLiteral(".bmp");
    m_large.insert(imageIndex, loadIcon(AppPaths::folder(AppPaths::Folder::Icons32) + name, LargeSide));
    m_small.insert(imageIndex, loadIcon(AppPaths::folder(AppPaths::Folder::Icons16) + name, SmallSide));
}

QImage MediaTableModel::largeImage(qint32 imageIndex) const
{
    readIcons(imageIndex);
    const QImage image = m_large.value(imageIndex);
    return image.isNull() ? placeholderLarge() : image;
}

QImage MediaTableModel::smallImage(qint32 imageIndex) const
{
    readIcons(imageIndex);
    const QImage image = m_small.value(imageIndex);
    return image.isNull() ? placeholderSmall() : image;
}

QImage MediaTableModel::loadIcon(const QString& path, int side)
{
    const QFileInfo file(path);
    if (!file.isFile() || file.size() > MaxIconFileBytes)
        return {};
    QImage image(path);
    if (image.isNull())
        return {};
    if (image.size() != QSize(side, side))
        image = image.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage MediaTableModel::placeholderLarge()
{
    static const QImage image = drawPlaceholder(LargeSide);
    return image;
}

QImage MediaTableModel::placeholderSmall()
{
    static const QImage image = drawPlaceholder(SmallSide);
    return image;
}

void MediaTableModel::post(std::function<void(MediaTableModel&)> change)
{
    if (QThread::currentThread() == thread()) {
        change(*this);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, change = std::move(change)] { change(*this); }, Qt::QueuedConnection);
}
