#include "app/CommandLine.h"
#include "app/ConvertRun.h"
#include "app/LinkDownloadRun.h"
#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "app/StartUp.h"
#include "app/StartupProbe.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "base/UntrustedText.h"
#include "capture/CapturePermission.h"
#include "engine/Engine.h"
#include "engine/Headless.h"
#include "engine/KeyLogLocation.h"
#include "library/LibraryListing.h"
#include "library/RecordingsImporter.h"
#include "tools/CutJob.h"
#include "tools/CutSpan.h"
#include "tools/RecordJob.h"
#include "tools/ScratchFile.h"
#include "tools/ToolRunner.h"
#include "ui/mainwindow/Page2.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <memory>

#include <net/if.h>

namespace {

// --video and --audio switch detection on for this run. The first start says once that video
// detection is off and where to switch it on; live capture without its permission says what is
// missing. Each notice goes to standard error; the window shows them too.
QStringList startNotices(const CommandLine& commandLine, const StartUp& startUp, bool live)
{
    if (commandLine.video)
        Settings::setForThisRun(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    if (commandLine.audio)
        Settings::setForThisRun(QStringLiteral("downloadhttpmusic"), QStringLiteral("true"));
    QStringList notices;
    if (startUp.firstStart() && !Settings::instance().downloadHttp())
        notices << tx(u"Video detection is off. To catch videos, open Settings and check "
                      u"\"Search for videos in your HTTP internet traffic\".");
    if (live && !CapturePermission::granted())
        notices << CapturePermission::missingMessage();
    if (startUp.firstStart() && live)
        notices << KeyLogLocation::firstStartNotice();
    for (const QString& notice : std::as_const(notices))
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(notice));
    return notices;
}

// The key log the capture decrypts HTTPS with; why HTTPS cannot be read goes to the notices.
void chooseKeyLog(Engine& engine, const CommandLine& commandLine, bool live, QStringList& notices)
{
    QString error;
    if (!engine.chooseKeyLog(commandLine.keyLogFile, live, error)) {
        notices << QStringLiteral("HTTPS cannot be read: ") + error;
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(notices.back()));
    }
}

// --browser: starts the named or default browser writing its TLS keys where a capture reads them.
int runBrowser(int argc, char** argv, const CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(AppPaths::chooseDataDir(commandLine.dataDir));
    const Settings settings(AppPaths::settingsPath()); // read only: the program may be running
    const KeyLogLocation::BrowserStart start =
        KeyLogLocation::startBrowser(commandLine.browserName, commandLine.browserUrl,
                                     KeyLogLocation::choose(commandLine.keyLogFile, settings.keyLogFile(), true));
    std::fprintf(start.started ? stdout : stderr, "%s%s\n",
                 start.started ? "" : "trawlix: ", qPrintable(start.message));
    return start.started ? 0 : 1;
}

int runDesktop(int argc, char** argv, const CommandLine& commandLine, const QElapsedTimer& sinceMain)
{
    QApplication app(argc, argv);
    // Before the start-up: a signal that comes meanwhile ends the run once its loop starts.
    const QuitOnSignal quitOnSignal;
    Engine engine;
    StartUp startUp(commandLine, engine.library());
    if (startUp.run() == StartUp::Result::SecondInstance)
        return 0;
    // Hidden, the program has no window to close; it ends with the session or a signal.
    app.setQuitOnLastWindowClosed(!commandLine.startHidden);
    if (commandLine.startHidden)
        trace(QStringLiteral("Window: started hidden"));
    // TRAWLIX_LANGUAGE=RU shows the Russian interface (the program itself starts in English).
    if (qEnvironmentVariable("TRAWLIX_LANGUAGE") == QLatin1String("RU"))
        Texts::init(QStringLiteral("RU"));
    // Measuring a start: the first paint after the start's scan reports and ends the run.
    std::unique_ptr<StartupProbe> probe;
    if (StartupProbe::requested())
        probe = std::make_unique<StartupProbe>(sinceMain, engine.scans());
    Page2 window(engine);
    window.start();
    QObject::connect(startUp.singleInstance(), &SingleInstance::showRequested, &window, &Page2::showRestored);
    // A download by link that ran beside this window put a file into the library.
    QObject::connect(startUp.singleInstance(), &SingleInstance::libraryChanged, &window, &Page2::requestRescan);
    if (!commandLine.startHidden)
        window.showRestored();
    QStringList notices = startNotices(commandLine, startUp, true);
    chooseKeyLog(engine, commandLine, true, notices);
    window.showStartNotices(notices);
    // The long-lived workers: importers and followers, the probe, then live capture on the
    // adapter named on the command line or in the settings (every adapter when none is).
    engine.startLibraryWorkers();
    engine.startProbe();
    QString adapter = commandLine.interfaceName;
    if (adapter.isEmpty())
        adapter = Settings::instance().interfaceName();
    engine.startCapture({QString(), adapter});
    const int code = QApplication::exec();
    // Each step of the way out is traced, so an exit that takes long shows where it waits.
    trace(QStringLiteral("Exit: the loop ended"));
    engine.stopDownloads(); // a live recording is muxed into the library before tools end
    // Tools first: a worker waiting for its tool (ffprobe blocked on a FIFO) is joined only
    // once the tool is gone, and none starts another from now on.
    ToolRunner::closeDown();
    trace(QStringLiteral("Exit: downloads and tools ended"));
    engine.stopCapture();
    engine.stopProbe();
    engine.stopLibraryWorkers();
    trace(QStringLiteral("Exit: workers ended"));
    return code;
}

// --record: records the checked sources of the recorder's device list for the given seconds
// (SIGINT or SIGTERM end it early, the file finished), then imports the recording.
int runRecord(int argc, char** argv, const CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    // Before the start-up: a signal that comes meanwhile ends the run once its loop starts.
    const QuitOnSignal quitOnSignal;
    Engine engine;
    StartUp startUp(commandLine, engine.library());
    if (startUp.run() == StartUp::Result::SecondInstance) {
        std::fprintf(stderr, "trawlix: the program is running; record from its window\n");
        return 1;
    }
    const QList<AudioSource> listed = RecordSources::discover();
    const QList<bool> checks = RecordSources::initialChecks(listed);
    QList<AudioSource> chosen;
    for (qsizetype i = 0; i < listed.size(); ++i) {
        if (checks.at(i))
            chosen << listed.at(i);
    }
    if (chosen.isEmpty()) {
        std::fprintf(stderr, "trawlix: %s\n",
                     qPrintable(listed.isEmpty() ? tx(u"No devices for audio recording!")
                                                 : QStringLiteral("no Sonotrap device (sonotrap-register --install)")));
        return 1;
    }
    RecordJob job;
    QObject::connect(&job, &RecordJob::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    const auto format =
        commandLine.recordFormat == QLatin1String("wav") ? RecordJob::Format::Wav : RecordJob::Format::Mp3;
    if (!job.start(chosen, format, commandLine.recordSeconds)) {
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(job.wait().error));
        return 1;
    }
    QCoreApplication::exec();
    job.stop();
    const RecordJob::Result result = job.wait();
    if (result.code == RecordJob::Result::Code::Recorded && result.ending == RecordJob::Result::Ending::LowDiskSpace)
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(result.error));
    if (result.code != RecordJob::Result::Code::Recorded) {
        std::fprintf(stderr, "trawlix: nothing was recorded: %s\n", qPrintable(result.error));
        return 1;
    }
    if (!RecordingsImporter::importFinished(engine.library(), engine.tempRecordsFiles(),
                                            QFileInfo(result.file).fileName())) {
        std::fprintf(stderr, "trawlix: the recording stays in %s: it could not be imported\n", qPrintable(result.file));
        return 1;
    }
    std::printf("library: %s\n", LibraryListing::line(engine.mediaTable().rowAt(0)).toUtf8().constData());
    return 0;
}

// --cut: the cutter's job without a window; prints the fragment's path. A running desktop
// program does not matter: the cut touches neither the library nor the settings. SIGINT or
// SIGTERM stop the cut: ffmpeg is ended and its scratch file removed, and the exit code is 1.
int runCut(int argc, char** argv, const CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(AppPaths::chooseDataDir(commandLine.dataDir)); // where the tools may lie
    CutJob::Request request;
    request.source = commandLine.cutFile;
    request.fromMs = commandLine.cutFromMs;
    request.toMs = commandLine.cutToMs;
    request.outputDir = commandLine.outputDir;
    // What a killed run left in the folder goes; a running cut's scratch file is locked.
    ScratchFile::removeStale(request.outputDir.isEmpty() ? AppPaths::documentsDir() : request.outputDir);
    const QuitOnSignal quitOnSignal;
    CutJob job;
    std::atomic<bool> shown{false};
    // Straight from the job's thread: the main thread only waits for the end or a signal.
    QObject::connect(
        &job, &CutJob::statusChanged, &job,
        [&shown](const QString& status) {
            std::fprintf(stderr, "\r%s", qPrintable(status));
            shown.store(true);
        },
        Qt::DirectConnection);
    QObject::connect(&job, &CutJob::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    job.start(request);
    QCoreApplication::exec();
    job.stop(); // a signal ended the loop early; after the cut this does nothing
    const CutJob::Result result = job.wait();
    if (shown.load())
        std::fputc('\n', stderr);
    if (result.code != CutJob::Result::Code::Cut) {
        std::fprintf(stderr, "trawlix: nothing was cut: %s\n", qPrintable(result.error));
        return 1;
    }
    if (result.fromKeyframe)
        std::fprintf(stderr, "%s%s\n", qPrintable(tx(u"The cut starts at the keyframe at ")),
                     qPrintable(CutSpan::displayTimeMs(result.cutStartMs)));
    std::printf("%s\n", result.file.toUtf8().constData());
    return 0;
}

// What the command line names that is not there: a capture file that cannot be read, an
// adapter this computer does not have. Empty when all is there.
QString namedFilesMissing(const CommandLine& commandLine)
{
    if (!commandLine.pcapFile.isEmpty()) {
        const QFileInfo file(commandLine.pcapFile);
        if (!file.exists())
            return QStringLiteral("the capture file %1 does not exist").arg(commandLine.pcapFile);
        if (!file.isFile() || !file.isReadable())
            return QStringLiteral("the capture file %1 cannot be read").arg(commandLine.pcapFile);
    }
    const QString& adapter = commandLine.interfaceName;
    // "any" is the capture library's adapter for all of them at once.
    if (!adapter.isEmpty() && adapter != QLatin1String("any") &&
        ::if_nametoindex(QFile::encodeName(adapter).constData()) == 0) {
        QStringList names;
        if (struct if_nameindex* list = ::if_nameindex()) {
            for (struct if_nameindex* entry = list; entry->if_index != 0 && names.size() < 32; ++entry)
                names << QString::fromLocal8Bit(entry->if_name);
            ::if_freenameindex(list);
        }
        return QStringLiteral("this computer has no network adapter named %1 (it has: %2)")
            .arg(adapter, names.join(QStringLiteral(", ")));
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine commandLine = CommandLine::parse(arguments);
    // The start-up makes the data folder the working folder: files named on the command line
    // are taken from where the user is now.
    for (QString* file : {&commandLine.pcapFile, &commandLine.keyLogFile}) {
        if (!file->isEmpty())
            *file = QFileInfo(*file).absoluteFilePath();
    }
    if (commandLine.help) {
        std::printf("%s", qPrintable(CommandLine::usage()));
        return 0;
    }
    if (commandLine.version) {
        std::printf("%s\n", qPrintable(CommandLine::versionLine()));
        return 0;
    }
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(UntrustedText::forTerminal(commandLine.errorLine())));
        return 2;
    }
    if (const QString wrong = namedFilesMissing(commandLine); !wrong.isEmpty()) {
        std::fprintf(stderr, "trawlix: %s\n", qPrintable(UntrustedText::forTerminal(wrong)));
        return 1;
    }
    if (commandLine.browser)
        return runBrowser(argc, argv, commandLine);
    if (!commandLine.cutFile.isEmpty())
        return runCut(argc, argv, commandLine);
    if (commandLine.listProfiles)
        return runListProfiles(commandLine);
    if (!commandLine.convertFile.isEmpty())
        return runConvert(argc, argv, commandLine);
    if (commandLine.recordSeconds > 0)
        return runRecord(argc, argv, commandLine);
    if (!commandLine.downloadLink.isEmpty())
        return runDownloadLink(argc, argv, commandLine);
    if (commandLine.headless) {
        QCoreApplication app(argc, argv);
        // Before the start-up: a signal that comes meanwhile ends the run once its loop starts.
        const QuitOnSignal quitOnSignal;
        Engine engine;
        StartUp startUp(commandLine, engine.library());
        if (startUp.run() == StartUp::Result::SecondInstance)
            return 0;
        const bool live = !commandLine.list && commandLine.pcapFile.isEmpty();
        QStringList notices = startNotices(commandLine, startUp, live);
        chooseKeyLog(engine, commandLine, live, notices);
        QObject::connect(&engine, &Engine::keysMissing, &app, [] {
            std::fprintf(stderr, "trawlix: %s\n", qPrintable(KeyLogLocation::missingKeysNotice()));
        });
        return runHeadless(engine, {commandLine.list, commandLine.pcapFile, commandLine.interfaceName});
    }
    const int code = runDesktop(argc, argv, commandLine, sinceMain);
    trace(QStringLiteral("Exit: the window and the engine released"));
    return code;
}
