#include "app/CommandLine.h"
#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "app/StartUp.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "engine/Engine.h"
#include "engine/Headless.h"
#include "tools/ToolRunner.h"
#include "ui/Page2.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

int runDesktop(int argc, char** argv, const CommandLine& commandLine)
{
    QApplication app(argc, argv);
    Engine engine;
    StartUp startUp(commandLine);
    if (startUp.run() == StartUp::Result::SecondInstance)
        return 0;
    const QuitOnSignal quitOnSignal;
    // Hidden, the program has no window to close; it ends with the session or a signal.
    app.setQuitOnLastWindowClosed(!commandLine.startHidden);
    if (commandLine.startHidden)
        trace(QStringLiteral("Window: started hidden"));
    // TRAWLIX_LANGUAGE=RU shows the Russian interface (the program itself starts in English).
    if (qEnvironmentVariable("TRAWLIX_LANGUAGE") == QLatin1String("RU"))
        Texts::init(QStringLiteral("RU"));
    Page2 window(engine);
    window.start();
    QObject::connect(startUp.singleInstance(), &SingleInstance::showRequested, &window, &Page2::showRestored);
    if (!commandLine.startHidden)
        window.showRestored();
    // The long-lived workers: importers and followers, the probe, then live capture on the
    // adapter named on the command line or in the settings (every adapter when none is).
    engine.startLibraryWorkers();
    engine.startProbe();
    QString adapter = commandLine.interfaceName;
    if (adapter.isEmpty())
        adapter = Settings::instance().interfaceName();
    engine.startCapture({QString(), adapter});
    const int code = QApplication::exec();
    engine.stopCapture();
    engine.stopProbe();
    engine.stopLibraryWorkers();
    ToolRunner::killAllTools();
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "trawlix: %s\n\n%s", qPrintable(commandLine.error), qPrintable(CommandLine::usage()));
        return 2;
    }
    if (commandLine.headless) {
        QCoreApplication app(argc, argv);
        Engine engine;
        StartUp startUp(commandLine);
        if (startUp.run() == StartUp::Result::SecondInstance)
            return 0;
        const QuitOnSignal quitOnSignal;
        return runHeadless(engine, {commandLine.list, commandLine.pcapFile, commandLine.interfaceName});
    }
    return runDesktop(argc, argv, commandLine);
}
