#pragma once

#include "download/DownloadList.h"

#include <QMutex>

#include <cstdio>

// The download list of `trawlix --headless`: one printed line per change, to standard output
// by default. Progress lines repeat only when the text changes (DownloadRows filters them).
class HeadlessDownloadList final : public DownloadList
{
public:
    explicit HeadlessDownloadList(std::FILE* out = stdout);

    void
    rowInserted(qsizetype recordIndex, const QString& name, const QString& progress, const QString& baseName) override;
    void rowNameChanged(qsizetype recordIndex, const QString& name) override;
    void rowIconChanged(qsizetype recordIndex, const QString& iconPath) override;
    void rowProgressChanged(qsizetype recordIndex, const QString& progress) override;
    void rowRemoved(qsizetype recordIndex) override;
    void listVisibilityChanged(bool visible) override;
    void captionChanged(const QString& caption) override;
    void flash() override;

    // One line of its own, between the others (never torn by another thread's line). The row
    // lines escape their texts (UntrustedText::forTerminal); a line given here is printed as it is.
    void print(const QString& line);

private:
    std::FILE* m_out;
    QMutex m_mutex;
    QString m_lastCaption;
};
