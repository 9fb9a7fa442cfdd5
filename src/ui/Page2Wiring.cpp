// The main window's links to the other parts of the program: tools, downloads, settings and
// the stream-information window.
#include "ui/Page2.h"

#include "app/Engine.h"
#include "app/Texts.h"
#include "tools/ToolRunner.h"

#include "download/DownloadRows.h"
#include "ui/DownloadListWidget.h"

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
    // The core marks the record "Canceled", stops its parts and removes the row; the list
    // hides itself through the download list's calls when it becomes empty.
    const qsizetype record = m_downloads->recordIndexOfRow(listRow);
    if (record >= 0)
        m_engine.downloadRows().cancel(record);
}
