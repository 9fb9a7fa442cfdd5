#include "app/ConvertRun.h"

#include "app/CommandLine.h"
#include "app/QuitOnSignal.h"
#include "base/AppPaths.h"
#include "tools/ConversionProfiles.h"
#include "tools/ConvertJob.h"
#include "tools/ScratchFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <cstdio>

namespace {

ProfileLoad loadProfiles(const CommandLine& commandLine)
{
    AppPaths::setDataDir(AppPaths::chooseDataDir(commandLine.dataDir));
    ProfileLoad load = ProfileStore::load(ProfileStore::defaultPath());
    if (!load.notice.isEmpty())
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(load.notice));
    return load;
}

} // namespace

int runListProfiles(const CommandLine& commandLine)
{
    const ProfileLoad load = loadProfiles(commandLine);
    for (const QString& path : load.set.profilePaths())
        std::printf("%s\n", path.toUtf8().constData());
    return 0;
}

int runConvert(int argc, char** argv, const CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    const ProfileLoad load = loadProfiles(commandLine);
    const int profile = load.set.indexOfPath(commandLine.profile);
    if (profile < 0) {
        std::fprintf(stderr, "trawlix: no profile \"%s\" (see --list-profiles)\n", qPrintable(commandLine.profile));
        return 2;
    }
    const QFileInfo source(commandLine.convertFile);
    const QString folder = commandLine.outputDir.isEmpty() ? ProfileStore::outputFolder(load.set)
                                                           : QFileInfo(commandLine.outputDir).absoluteFilePath();
    const ConvertJob::Item item{
        source.absoluteFilePath(),
        ConvertJob::outputPath(folder, source.completeBaseName(), load.set.profiles.at(profile).fileExt), 0};
    // What a killed run left in the folder goes; a running conversion's scratch file is locked.
    ScratchFile::removeStale(folder);
    const QuitOnSignal quitOnSignal;
    ConvertJob job;
    std::atomic<int> percent{0};
    QObject::connect(
        &job, &ConvertJob::progressChanged, &job, [&percent](int value, const QString&) { percent.store(value); },
        Qt::DirectConnection);
    QObject::connect(&job, &ConvertJob::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&percent] {
        std::printf("%d%%\n", percent.load());
        std::fflush(stdout);
    });
    ticker.start(1000);
    job.start({item}, ConvertJob::defaults(load.set, profile));
    QCoreApplication::exec();
    job.cancel(); // a signal ended the loop early; after the run this does nothing
    const QList<ConvertJob::FileResult> results = job.wait();
    const ConvertJob::FileResult result = results.isEmpty() ? ConvertJob::FileResult{} : results.first();
    switch (result.code) {
    case ConvertJob::FileResult::Code::Converted:
        std::printf("100%%\n%s\n", result.output.toUtf8().constData());
        return 0;
    case ConvertJob::FileResult::Code::Skipped:
        std::fprintf(stderr, "trawlix: %s exists; remove it or choose another --output\n", qPrintable(result.output));
        return 1;
    case ConvertJob::FileResult::Code::Cancelled:
        std::fprintf(stderr, "trawlix: the conversion was stopped\n");
        return 1;
    case ConvertJob::FileResult::Code::Failed:
    case ConvertJob::FileResult::Code::Refused:
        break;
    }
    std::fprintf(stderr, "trawlix: %s\n",
                 qPrintable(result.error.isEmpty() ? QStringLiteral("conversion failed") : result.error));
    return 1;
}
