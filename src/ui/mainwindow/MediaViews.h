#pragma once

#include <QListView>
#include <QTreeView>

#include <functional>

// The media table's two views over one model: the report (columns) and the icon view.
// Dragging rows out is handed to the main window, which prepares the files first.
class MediaTableView final : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaTableView)

public:
    explicit MediaTableView(QWidget* parent = nullptr);
    ~MediaTableView() override;

    std::function<void()> dragHandler;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

class MediaIconView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaIconView)

public:
    // Each file shows its 160x90 thumbnail at this size (16:9), its list icon when it has none.
    static constexpr QSize ThumbnailSize{96, 54};
    static constexpr qint64 LargestThumbnailBytes = 2 << 20;

    explicit MediaIconView(QWidget* parent = nullptr);
    ~MediaIconView() override;

    std::function<void()> dragHandler;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};
