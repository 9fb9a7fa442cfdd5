// The main window's links to the other parts of the program: tools, downloads, settings and
// the stream-information window.
#include "ui/Page2.h"

#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "engine/Engine.h"
#include "library/DerivedFiles.h"
#include "library/FileImport.h"
#include "library/ScanScheduler.h"
#include "library/TimeFilter.h"
#include "tools/ToolRunner.h"
#include "ui/MonitorMovie.h"
#include "ui/Page3.h"
#include "ui/page1.h"

#include <QDir>
#include <QThreadPool>

#include "download/DownloadRows.h"
#include "ui/DownloadListWidget.h"

void Page2::endTools()
{
    // Only the tools this run started; other programs' ffmpeg processes are theirs.
    ToolRunner::killAllTools();
}

void Page2::buildLibraryWork()
{
    LibraryContext context{m_model, m_engine.imagesIndexes(), m_engine.mp3Files(), m_engine.videoFiles()};
    // Workers reach the caption and the tray only through the interface thread's queue.
    context.setCaption = [this](const QString& caption) {
        QMetaObject::invokeMethod(
            this, [this, caption] { setWindowTitle(caption); }, Qt::QueuedConnection);
    };
    context.restoreCaption = [this] {
        QMetaObject::invokeMethod(
            this, [this] { restoreCaption(); }, Qt::QueuedConnection);
    };
    context.notify = [this](const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { showNotice(text); }, Qt::QueuedConnection);
    };
    m_library = std::make_unique<LibraryContext>(context);
    m_scans = new ScanScheduler(context, this);
    connect(this, &Page2::importRequested, this, &Page2::importFiles);
    connect(this, &Page2::filesDropped, this, &Page2::importDropped);
    connect(this, &Page2::rescanRequested, m_scans, [this](const QString& timeFilter, const QString& titleFilter) {
        LibraryScan::Request request;
        request.timeFilter = timeFilter;
        request.titleFilter = titleFilter;
        m_scans->request(request);
    });
}

void Page2::importFiles()
{
    const QStringList paths = chooseImportFiles();
    if (paths.isEmpty())
        return;
    // Copies can be large: they run on a worker, and the rescan follows on this thread.
    const LibraryContext context = *m_library;
    QThreadPool::globalInstance()->start([this, context, paths] {
        FileImport::importChosen(context, paths);
        context.captionRestored();
        QMetaObject::invokeMethod(
            this, [this] { requestRescan(); }, Qt::QueuedConnection);
    });
}

void Page2::importDropped(const QStringList& paths)
{
    if (FileImport::importDropped(*m_library, paths) > 0)
        requestRescan();
    restoreCaption();
}

QString Page2::defaultTimeFilter() const
{
    const QStringList names = QDir(AppPaths::folder(AppPaths::Folder::Videos)).entryList(QDir::Files);
    return TimeFilter::defaultFor(names, Clock::system().secondsSinceEpoch());
}

void Page2::forgetDerivedFiles(const QString& path)
{
    DerivedFiles::remove(path);
}

void Page2::openSettings()
{
    Page3 settings(Settings::instance(), this);
    if (settings.exec() != QDialog::Accepted)
        return;
    readFlags();
    applyStoredVolume();
}

void Page2::openFileInfo()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_model.rowCount())
        return;
    const MediaRow& media = m_model.rowAt(row);
    page1 info(media.title, media.format, media.path, this);
    info.exec();
}

void Page2::connectEngine()
{
    // Library workers and the capture thread report from their own threads: queued here.
    connect(
        &m_engine, &Engine::libraryCaptionChanged, this, [this](const QString& caption) { setWindowTitle(caption); },
        Qt::QueuedConnection);
    connect(&m_engine, &Engine::libraryCaptionRestored, this, &Page2::restoreCaption, Qt::QueuedConnection);
    connect(&m_engine, &Engine::libraryNotice, this, &Page2::showNotice, Qt::QueuedConnection);
    connect(
        &m_engine, &Engine::candidateDetected, this, [this] { m_monitorMovie->addActivity(1); }, Qt::QueuedConnection);
    connect(this, &Page2::monitoringChanged, this, [this](bool on) { m_engine.setMonitoring(on); });
}

void Page2::cancelDownload(int listRow)
{
    // The core marks the record "Canceled", stops its parts and removes the row; the list
    // hides itself through the download list's calls when it becomes empty.
    const qsizetype record = m_downloads->recordIndexOfRow(listRow);
    if (record >= 0)
        m_engine.downloadRows().cancel(record);
}
