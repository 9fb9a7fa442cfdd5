#pragma once

#include "download/DownloadList.h"

#include <QTreeWidget>

#include <functional>

// The list of running downloads beside the media table: name, progress and the record's base
// name in a hidden "ID" column. The core calls it from any thread; every call is queued onto
// the interface thread in call order, so no worker ever touches the widget.
class DownloadListWidget final : public QTreeWidget, public DownloadList
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadListWidget)

public:
    static constexpr int NameColumn = 0;
    static constexpr int ProgressColumn = 1;
    static constexpr int IdColumn = 2;

    explicit DownloadListWidget(QWidget* parent = nullptr);
    ~DownloadListWidget() override;

    // The record index of a list row; -1 when there is no such row.
    qsizetype recordIndexOfRow(int row) const;
    // "Cancel/Stop downloading" for the current row at globalPosition; cancelRequested() when
    // chosen.
    void showCancelMenu(const QPoint& globalPosition);

    void
    rowInserted(qsizetype recordIndex, const QString& name, const QString& progress, const QString& baseName) override;
    void rowNameChanged(qsizetype recordIndex, const QString& name) override;
    void rowIconChanged(qsizetype recordIndex, const QString& iconPath) override;
    void rowProgressChanged(qsizetype recordIndex, const QString& progress) override;
    void rowRemoved(qsizetype recordIndex) override;
    void listVisibilityChanged(bool visible) override;
    void captionChanged(const QString& caption) override;
    void flash() override;

signals:
    void visibilityRequested(bool visible);
    void captionRequested(const QString& caption);
    void attentionRequested();
    void cancelRequested(int row);

private:
    QTreeWidgetItem* itemOf(qsizetype recordIndex) const;
    void queue(std::function<void()> work);
};
