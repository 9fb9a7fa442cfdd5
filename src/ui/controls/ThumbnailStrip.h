#pragma once

#include "library/ScrollerList.h"

#include <QPixmap>
#include <QWidget>

class QFileSystemWatcher;

// The thumbnail strip: the 160 x 90 thumbnails of "videos.xml", newest first, in a column
// that scrolls with the wheel. A click on a photo emits photoClicked() with its index in the
// list. It reads the list itself, on reload() and whenever the file changes.
class ThumbnailStrip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThumbnailStrip)

public:
    explicit ThumbnailStrip(const QString& listPath, QWidget* parent = nullptr);
    ~ThumbnailStrip() override;

    // Empties the strip and reads the list again.
    void reload();

    qsizetype entryCount() const { return m_entries.size(); }
    QRect thumbnailRect(int index) const;

signals:
    void photoClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int indexAt(const QPoint& position) const;
    int contentHeight() const;
    void scrollBy(int pixels);

    QString m_listPath;
    QList<ScrollerList::Entry> m_entries;
    QList<QPixmap> m_pictures;
    QFileSystemWatcher* m_watcher;
    int m_offset = 0;
    int m_hovered = -1;
};
