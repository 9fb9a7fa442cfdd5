// The main window's video area and the player commands.
#include "ui/Page2.h"

#include "library/MediaTableModel.h"
#include "ui/SlideshowList.h"

#include "app/AppPaths.h"
#include "tools/ToolRunner.h"

void Page2::buildVideoArea()
{
    m_videoArea = new QWidget(this);
    m_videoArea->setObjectName(QStringLiteral("videoArea"));
    m_videoArea->setAutoFillBackground(true);
    QPalette palette = m_videoArea->palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_videoArea->setPalette(palette);
    m_videoArea->installEventFilter(this);
}

void Page2::connectPlayer()
{
}

void Page2::applyStoredVolume()
{
}

void Page2::windowActivated()
{
    // The screen recorder hands control back when the main window becomes active.
    ToolRunner::killToolsNamed(QStringLiteral("Recorder"));
}

void Page2::previewRow(int)
{
}

void Page2::playRow(int)
{
}

void Page2::playerCommand(ShellCommand, const QString&)
{
}

void Page2::playListClick(int photoIndex)
{
    const QList<SlideshowEntry> entries = SlideshowList::read(AppPaths::file(QStringLiteral("videos.xml")));
    if (photoIndex < 0 || photoIndex >= entries.size())
        return; // beyond the last photo: nothing
    const QString video = entries.at(photoIndex).video;
    if (video.isEmpty())
        return;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.rowAt(row).path.contains(video)) {
            selectRow(row);
            playRow(row);
            return;
        }
    }
    playPath(AppPaths::folder(AppPaths::Folder::Videos) + video);
}

void Page2::playPath(const QString&)
{
}
