#pragma once

#include "download/DownloadList.h"

#include <QHash>
#include <QMutex>
#include <QStringList>

// A download list for tests: keeps every call and the state the rows end in.
class RecordingDownloadList final : public DownloadList
{
public:
    void
    rowInserted(qsizetype recordIndex, const QString& name, const QString& progress, const QString& baseName) override;
    void rowNameChanged(qsizetype recordIndex, const QString& name) override;
    void rowIconChanged(qsizetype recordIndex, const QString& iconPath) override;
    void rowProgressChanged(qsizetype recordIndex, const QString& progress) override;
    void rowRemoved(qsizetype recordIndex) override;
    void listVisibilityChanged(bool visible) override;
    void captionChanged(const QString& caption) override;
    void flash() override;

    QStringList events() const; // "insert 0 NAME", "progress 0 45%", "caption X", ...
    QStringList progressOf(qsizetype recordIndex) const;
    QStringList captions() const;
    QString lastProgress(qsizetype recordIndex) const;
    QString icon(qsizetype recordIndex) const;
    int flashes() const;

private:
    void add(const QString& event);

    mutable QMutex m_mutex;
    QStringList m_events;
    QHash<qsizetype, QStringList> m_progress;
    QHash<qsizetype, QString> m_icons;
    QStringList m_captions;
    int m_flashes = 0;
};
