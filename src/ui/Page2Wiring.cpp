// The main window's links to the other parts of the program: tools, downloads, settings and
// the stream-information window.
#include "ui/Page2.h"

#include "app/Engine.h"
#include "app/Texts.h"
#include "tools/ToolRunner.h"

#include <QTreeWidget>

void Page2::endTools()
{
    // Only the tools this run started; other programs' ffmpeg processes are theirs.
    ToolRunner::killAllTools();
}

QString Page2::defaultTimeFilter() const
{
    return QStringLiteral("all");
}

void Page2::forgetDerivedFiles(const QString&)
{
}

void Page2::openSettings()
{
}

void Page2::openFileInfo()
{
}

void Page2::cancelDownload(int listRow)
{
    QTreeWidgetItem* item = m_downloads->topLevelItem(listRow);
    if (!item)
        return;
    const QString base = item->text(2);
    m_engine.videoFiles().withLock([&base](QList<VideoFile>& records) {
        for (VideoFile& record : records) {
            if (record.baseName == base) {
                record.state = QStringLiteral("Canceled");
                record.url = QStringLiteral("Canceled");
                record.totalBytes = 0;
            }
        }
    });
    delete item;
    if (m_downloads->topLevelItemCount() == 0)
        setDownloadListShown(false);
    restoreCaption();
}
