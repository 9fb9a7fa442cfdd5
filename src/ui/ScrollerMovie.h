#pragma once

#include "ui/Movie.h"
#include "ui/SlideshowList.h"

#include <QPixmap>

class QFileSystemWatcher;

// The thumbnail scroller: the 160 x 90 thumbnails of "videos.xml", newest first, in a column
// that scrolls with the wheel. A click calls the host with "PlayListClick_" + the photo's index.
// It reads the list itself, on reload() and whenever the file changes.
class ScrollerMovie final : public Movie
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScrollerMovie)

public:
    explicit ScrollerMovie(const QString& listPath, QWidget* parent = nullptr);
    ~ScrollerMovie() override;

    // Empties the scroller and reads the list again.
    void reload();

    qsizetype entryCount() const { return m_entries.size(); }
    QRect thumbnailRect(int index) const;

protected:
    void handleCall(const QString& name, const QStringList& arguments) override;
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
    QList<SlideshowEntry> m_entries;
    QList<QPixmap> m_pictures;
    QFileSystemWatcher* m_watcher;
    int m_offset = 0;
    int m_hovered = -1;
};
