#include "support/RecordingDownloadList.h"

#include <QMutexLocker>

void RecordingDownloadList::add(const QString& event)
{
    m_events.append(event);
}

void RecordingDownloadList::rowInserted(qsizetype recordIndex,
                                        const QString& name,
                                        const QString& progress,
                                        const QString& baseName)
{
    QMutexLocker lock(&m_mutex);
    add(QStringLiteral("insert %1 %2 %3 %4").arg(recordIndex).arg(name, progress, baseName));
}

void RecordingDownloadList::rowNameChanged(qsizetype recordIndex, const QString& name)
{
    QMutexLocker lock(&m_mutex);
    add(QStringLiteral("name %1 %2").arg(recordIndex).arg(name));
}

void RecordingDownloadList::rowIconChanged(qsizetype recordIndex, const QString& iconPath)
{
    QMutexLocker lock(&m_mutex);
    m_icons.insert(recordIndex, iconPath);
    add(QStringLiteral("icon %1 %2").arg(recordIndex).arg(iconPath));
}

void RecordingDownloadList::rowProgressChanged(qsizetype recordIndex, const QString& progress)
{
    QMutexLocker lock(&m_mutex);
    m_progress[recordIndex].append(progress);
}

void RecordingDownloadList::rowRemoved(qsizetype recordIndex)
{
    QMutexLocker lock(&m_mutex);
    add(QStringLiteral("remove %1").arg(recordIndex));
}

void RecordingDownloadList::listVisibilityChanged(bool visible)
{
    QMutexLocker lock(&m_mutex);
    add(visible ? QStringLiteral("show") : QStringLiteral("hide"));
}

void RecordingDownloadList::captionChanged(const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    m_captions.append(caption);
}

void RecordingDownloadList::flash()
{
    QMutexLocker lock(&m_mutex);
    ++m_flashes;
}

QStringList RecordingDownloadList::events() const
{
    QMutexLocker lock(&m_mutex);
    return m_events;
}

QStringList RecordingDownloadList::progressOf(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    return m_progress.value(recordIndex);
}

QStringList RecordingDownloadList::captions() const
{
    QMutexLocker lock(&m_mutex);
    return m_captions;
}

QString RecordingDownloadList::lastProgress(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    const QStringList list = m_progress.value(recordIndex);
    return list.isEmpty() ? QString() : list.constLast();
}

QString RecordingDownloadList::icon(qsizetype recordIndex) const
{
    QMutexLocker lock(&m_mutex);
    return m_icons.value(recordIndex);
}

int RecordingDownloadList::flashes() const
{
    QMutexLocker lock(&m_mutex);
    return m_flashes;
}
