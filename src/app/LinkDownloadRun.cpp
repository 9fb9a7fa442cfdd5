#include "app/LinkDownloadRun.h"

#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "app/StartUp.h"
#include "base/AppPaths.h"
#include "base/UntrustedText.h"
#include "engine/Engine.h"
#include "library/LibraryListing.h"
#include "library/LinkDownloadImporter.h"
#include "library/MediaTableModel.h"
#include "tools/LinkDownloadJob.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int runDownloadLink(int argc, char** argv, const CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    Engine engine;
    StartUp startUp(commandLine, engine.library());
    // Beside a running instance the download goes on as well; that instance reads the library
    // again at the end.
    const bool beside = startUp.run() == StartUp::Result::Beside;
    const QuitOnSignal quitOnSignal;
    LinkDownloadJob job;
    QObject::connect(&job, &LinkDownloadJob::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    const LinkCommand::Request request{commandLine.downloadLink, commandLine.audioOnly, commandLine.playlistItems};
    if (!job.start(request)) {
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(job.wait().error));
        return 1;
    }
    // A running instance's importer would take the finished file without its page: this run
    // imports it itself.
    const LinkDownloadImporter::Hold hold(job.mark());
    std::printf("download: %s\n", qPrintable(UntrustedText::forTerminal(commandLine.downloadLink)));
    std::fflush(stdout);
    QTimer progress;
    progress.setInterval(1000);
    QObject::connect(&progress, &QTimer::timeout, &app, [&job] {
        const QString text = job.progressText();
        if (text.isEmpty())
            return;
        std::printf("progress: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    progress.start();
    QCoreApplication::exec();
    progress.stop();
    job.abort(); // a signal ended the loop early
    const LinkDownloadJob::Result result = job.wait();

    // What arrived enters the library before the program exits, also after a partial failure.
    engine.setLinkPageSource([address = commandLine.downloadLink] { return address; });
    const int imported = LinkDownloadImporter::importNames(engine.library(), result.files);
    if (beside && imported > 0)
        SingleInstance::announceLibraryChange(AppPaths::dataDir());
    for (int row = 0; row < imported && row < engine.mediaTable().rowCount(); ++row)
        std::printf("library: %s\n", LibraryListing::line(engine.mediaTable().rowAt(row)).toUtf8().constData());
    std::fflush(stdout);
    if (result.code != LinkDownloadJob::Result::Code::Downloaded) {
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(result.error));
        return 1;
    }
    if (imported < result.files.size()) {
        std::fprintf(stderr,
                     "trawlix: %lld of the downloaded files could not be imported; they stay in TempDownloads\n",
                     static_cast<long long>(result.files.size() - imported));
        return 1;
    }
    return 0;
}
