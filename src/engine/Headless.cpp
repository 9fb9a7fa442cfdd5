#include "engine/Headless.h"

#include "base/Settings.h"
#include "download/HeadlessDownloadList.h"
#include "engine/CandidatePrinter.h"
#include "engine/Engine.h"
#include "library/LibraryListing.h"
#include "library/LibraryScan.h"
#include "library/MediaTableModel.h"
#include "tools/ToolRunner.h"

#include <QCoreApplication>

#include <cstdio>

int runHeadless(Engine& engine, const HeadlessRun& run)
{
    if (run.list) {
        // The table is on this thread: the scan fills it directly.
        LibraryScan::run(engine.library(), {QStringLiteral("all"), {}});
        for (const QString& line : LibraryListing::lines(engine.mediaTable()))
            std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        return 0;
    }
    // Downloads print their rows and progress; the probe takes every new candidate.
    HeadlessDownloadList downloadList;
    engine.setDownloadList(&downloadList);
    engine.startProbe();
    // Every file that reaches the library (a finished download, an import, music from a browser
    // cache) prints its row.
    MediaTableModel& table = engine.mediaTable();
    QObject::connect(&table, &QAbstractItemModel::rowsInserted, &table,
                     [&table, &downloadList](const QModelIndex&, int first, int last) {
                         for (int row = last; row >= first; --row)
                             downloadList.print(u"library: "_qs + LibraryListing::line(table.rowAt(row)));
                     });
    engine.startLibraryWorkers();

    // Capture from the file, or live from the adapter named on the command line or in the
    // settings (every adapter when neither names one); one line per new candidate.
    const bool fromFile = !run.pcapFile.isEmpty();
    const CandidatePrinter printer(engine, stdout, fromFile);
    QString adapter = run.interfaceName;
    if (adapter.isEmpty() && !fromFile)
        adapter = Settings::instance().interfaceName();
    engine.startCapture({run.pcapFile, fromFile ? QString() : adapter});
    const int code = QCoreApplication::exec();
    // Live recordings end into the library while its rows still print.
    engine.stopDownloads();
    QCoreApplication::sendPostedEvents();
    ToolRunner::killAllTools(); // before the workers that wait for them are joined
    engine.stopCapture();
    engine.stopProbe();
    engine.stopLibraryWorkers();
    QObject::disconnect(&table, &QAbstractItemModel::rowsInserted, &table, nullptr);
    engine.setDownloadList(nullptr);
    ToolRunner::killAllTools(); // what a worker started while it stopped
    return code;
}
