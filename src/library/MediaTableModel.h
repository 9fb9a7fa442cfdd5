#pragma once

#include "model/MediaRow.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <QSet>

#include <atomic>
#include <functional>

// The media table: one row per library file, newest insertions at the top, with a 32x32 and a
// 16x16 image per file kept in two image lists that share their indexes. The model lives on the
// interface thread; worker threads change it only through post(), which queues the change.
class MediaTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaTableModel)

public:
    enum Column
    {
        TitleColumn = 0,
        CaptureTimeColumn = 1,
        SizeColumn = 2,
        FormatColumn = 3,
        DurationColumn = 4,
        EmptyColumn = 5,  // hidden
        AuthorColumn = 6, // hidden: the source page
        PathColumn = 7,   // hidden: the file's full path
        ColumnCount = 8,
    };

    enum Role
    {
        SortRole = Qt::UserRole + 1, // a value that orders the column (seconds, bytes, text)
        PathRole,                    // column 7 of the row, from any column
        LargeImageRole,              // the 32x32 image of the row (QImage)
        ImageIndexRole,              // the row's index in the image lists
    };

    static constexpr int LargeSide = 32;
    static constexpr int SmallSide = 16;

    explicit MediaTableModel(QObject* parent = nullptr);
    ~MediaTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Interface thread only.
    void insertTop(const MediaRow& row);
    // Inserts each row at the top in turn: the last row given ends up first.
    void insertTopRows(const QList<MediaRow>& rows);
    void clear();
    const MediaRow& rowAt(int row) const { return m_rows.at(row); }
    const QList<MediaRow>& rows() const { return m_rows; }
    int rowOfPath(const QString& path) const; // -1 when no row shows the file
    bool removePath(const QString& path);
    bool setTitleOfPath(const QString& path, const QString& title);
    // The follower's update of a growing file.
    bool updateGrowth(const QString& path, qint64 sizeBytes, const QString& duration);
    QStringList checkedPaths() const;
    void setAllChecked(bool checked);

    // The image lists. Images set here are kept; any other index of a row is read from the row's
    // icon files ("32x32/" and "16x16/" + base name + ".bmp") the first time it is asked for,
    // that is when its row is painted, so a start with a large library reads only the icons on
    // screen. Missing, oversized or unreadable images give the built-in placeholders.
    void setImages(qint32 index, const QImage& large, const QImage& small);
    QImage largeImage(qint32 index) const;
    QImage smallImage(qint32 index) const;
    // An icon file read as the lists keep it: side x side, null when missing, unreadable or
    // larger than MaxIconFileBytes.
    static QImage loadIcon(const QString& path, int side);
    static constexpr qint64 MaxIconFileBytes = 256 * 1024;
    static QImage placeholderLarge();
    static QImage placeholderSmall();

    // Any thread: the next free index of the image lists (large and small share it).
    qint32 reserveImageIndex() { return m_nextImageIndex.fetch_add(1); }

    // Any thread: runs change on the model's thread, at once when called there, otherwise queued
    // in call order.
    void post(std::function<void(MediaTableModel&)> change);

signals:
    // The thumbnail list changed: the scroller should read "videos.xml" again.
    void scrollerReloadRequested();
    // A file was inserted or a scan ended: select and preview the top row (the 100 ms timer).
    void topRowPreviewRequested();

private:
    QVariant sortKey(const MediaRow& row, int column) const;
    void rememberBase(const MediaRow& row);
    void readIcons(qint32 index) const;

    QList<MediaRow> m_rows;
    // Filled as rows are painted: caches of what the image lists hold.
    mutable QHash<qint32, QImage> m_large;
    mutable QHash<qint32, QImage> m_small;
    mutable QSet<qint32> m_read;     // indexes whose files were read or whose images were set
    QHash<qint32, QString> m_baseOf; // the base name whose icons an index shows
    std::atomic<qint32> m_nextImageIndex{0};
};
