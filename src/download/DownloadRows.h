#pragma once

#include "model/VideoFile.h"

#include <QList>
#include <QRecursiveMutex>
#include <QString>

#include <atomic>

class DownloadList;

// The rows of the download list as the core sees them, safe to use from any thread. Workers
// look their row up on every block: a row that is gone means the user cancelled. Changes are
// forwarded to the attached DownloadList (none attached: the core runs silently).
class DownloadRows final
{
public:
    struct Row
    {
        qsizetype recordIndex = -1;
        QString name;
        QString progress;
        QString baseName;
        bool failed = false;       // the progress names why the download failed and stays
        quint64 progressOrder = 0; // the order of the progress shown (see nextProgressOrder)
    };

    explicit DownloadRows(VideoFileArray& videoFiles);
    DownloadRows(const DownloadRows&) = delete;
    DownloadRows& operator=(const DownloadRows&) = delete;

    // The view must outlive its attachment; pass nullptr to detach.
    void setView(DownloadList* view);

    // Inserts a row at the top with progress "0%" and shows the list. One row per record:
    // returns false when the record already has one.
    bool insert(qsizetype recordIndex, const QString& name, const QString& baseName);
    bool contains(qsizetype recordIndex) const;
    bool isTop(qsizetype recordIndex) const;
    QString name(qsizetype recordIndex) const;
    void setName(qsizetype recordIndex, const QString& name);
    void setIcon(qsizetype recordIndex, const QString& iconPath);
    // Forwards only when the text changes, so a view is not flooded once per block. The parts
    // of a download report from their own threads: order (from nextProgressOrder(), taken where
    // the count was) keeps a late report of a smaller count from showing over a larger one.
    // Returns whether the progress is the newest one. A newest progress of the top row also
    // becomes the caption when topCaption is given, in the same step: a part that reports late
    // cannot put its caption over the one the assembly shows after it.
    bool setProgress(qsizetype recordIndex, const QString& progress, quint64 order, const QString& topCaption = {});
    quint64 nextProgressOrder() { return ++m_progressOrder; }
    // The last progress text of a failed download ("Timeout", "Conn err"): a part of the same
    // record still running when another failed cannot show its percentage over it.
    void setFailed(qsizetype recordIndex, const QString& progress);
    // Removes the row and hides the list when it was the last one. Returns false when absent.
    bool remove(qsizetype recordIndex);

    // The user removed the row: the record becomes Canceled (its total 0; the same address
    // can be caught again), the row goes and every part of the
    // download stops after its current block. The caption returns to the display name.
    void cancel(qsizetype recordIndex);

    void setCaption(const QString& caption);
    void flash();

    QList<Row> rows() const;
    qsizetype count() const;

private:
    qsizetype indexOf(qsizetype recordIndex) const; // under m_mutex

    VideoFileArray& m_videoFiles;
    // Recursive: the view is called under the lock (keeps the order of calls per row), and a
    // direct view may call back, e.g. cancel() from a test.
    mutable QRecursiveMutex m_mutex;
    QList<Row> m_rows; // top row first
    DownloadList* m_view = nullptr;
    std::atomic<quint64> m_progressOrder{0};
};
