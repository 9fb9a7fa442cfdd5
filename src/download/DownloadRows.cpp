#include "download/DownloadRows.h"

#include "base/Texts.h"
#include "download/DownloadList.h"

#include <QMutexLocker>

DownloadRows::DownloadRows(VideoFileArray& videoFiles)
    : m_videoFiles(videoFiles)
{}

void DownloadRows::setView(DownloadList* view)
{
    QMutexLocker lock(&m_mutex);
    m_view = view;
}

qsizetype DownloadRows::indexOf(qsizetype recordIndex) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).recordIndex == recordIndex)
            return i;
    }
    return -1;
}

bool DownloadRows::insert(qsizetype recordIndex, const QString& name, const QString& baseName)
{
    QMutexLocker lock(&m_mutex);
    if (indexOf(recordIndex) >= 0)
        return false;
    const bool wasEmpty = m_rows.isEmpty();
    const QString progress = QStringLiteral("0%");
    m_rows.prepend(Row{recordIndex, name, progress, baseName});
    if (m_view) {
        if (wasEmpty)
            m_view->listVisibilityChanged(true);
        m_view->rowInserted(recordIndex, name, progress, baseName);
    }
    return true;
}

bool DownloadRows::contains(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    return indexOf(recordIndex) >= 0;
}

bool DownloadRows::isTop(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    return !m_rows.isEmpty() && m_rows.constFirst().recordIndex == recordIndex;
}

QString DownloadRows::name(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    const qsizetype i = indexOf(recordIndex);
    return i >= 0 ? m_rows.at(i).name : QString();
}

void DownloadRows::setName(qsizetype recordIndex, const QString& name)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype i = indexOf(recordIndex);
    if (i < 0)
        return;
    m_rows[i].name = name;
    if (m_view)
        m_view->rowNameChanged(recordIndex, name);
}

void DownloadRows::setIcon(qsizetype recordIndex, const QString& iconPath)
{
    QMutexLocker lock(&m_mutex);
    if (indexOf(recordIndex) >= 0 && m_view)
        m_view->rowIconChanged(recordIndex, iconPath);
}

bool DownloadRows::setProgress(qsizetype recordIndex, const QString& progress, quint64 order, const QString& topCaption)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype i = indexOf(recordIndex);
    if (i < 0 || m_rows.at(i).failed || order < m_rows.at(i).progressOrder)
        return false;
    m_rows[i].progressOrder = order;
    if (m_rows.at(i).progress == progress)
        return true;
    m_rows[i].progress = progress;
    if (m_view) {
        m_view->rowProgressChanged(recordIndex, progress);
        if (!topCaption.isEmpty() && i == 0)
            m_view->captionChanged(topCaption);
    }
    return true;
}

void DownloadRows::setFailed(qsizetype recordIndex, const QString& progress)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype i = indexOf(recordIndex);
    if (i < 0 || m_rows.at(i).failed)
        return;
    m_rows[i].failed = true;
    m_rows[i].progress = progress;
    if (m_view)
        m_view->rowProgressChanged(recordIndex, progress);
}

bool DownloadRows::remove(qsizetype recordIndex)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype i = indexOf(recordIndex);
    if (i < 0)
        return false;
    m_rows.removeAt(i);
    if (m_view) {
        m_view->rowRemoved(recordIndex);
        if (m_rows.isEmpty())
            m_view->listVisibilityChanged(false);
    }
    return true;
}

void DownloadRows::cancel(qsizetype recordIndex)
{
    // The record first: a part that sees its row gone must also find the record cancelled,
    // so that it never starts another attempt.
    m_videoFiles.update(recordIndex, [](VideoFile& record) {
        record.state = VideoFile::State::Canceled;
        record.totalBytes = 0;
    });
    if (remove(recordIndex))
        setCaption(Texts::displayName());
}

void DownloadRows::setCaption(const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    if (m_view)
        m_view->captionChanged(caption);
}

void DownloadRows::flash()
{
    QMutexLocker lock(&m_mutex);
    if (m_view)
        m_view->flash();
}

QList<DownloadRows::Row> DownloadRows::rows() const
{
    QMutexLocker lock(&m_mutex);
    return m_rows;
}

qsizetype DownloadRows::count() const
{
    QMutexLocker lock(&m_mutex);
    return m_rows.size();
}
