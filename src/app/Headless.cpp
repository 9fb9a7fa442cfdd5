#include "app/Headless.h"

#include "app/CandidatePrinter.h"
#include "app/CommandLine.h"
#include "app/Engine.h"
#include "app/QuitOnSignal.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "tools/ToolRunner.h"

#include <QCoreApplication>

int runHeadless(Engine& engine, const CommandLine& commandLine)
{
    StartUp startUp(commandLine);
    if (startUp.run() == StartUp::Result::SecondInstance)
        return 0;
    if (commandLine.list)
        return 0;
    const QuitOnSignal quitOnSignal;
    // Capture from the file, or live from the adapter named on the command line or in the
    // settings (every adapter when neither names one); one line per new candidate.
    const bool fromFile = !commandLine.pcapFile.isEmpty();
    const CandidatePrinter printer(engine, stdout, fromFile);
    QString adapter = commandLine.interfaceName;
    if (adapter.isEmpty() && !fromFile)
        adapter = Settings::instance().interfaceName();
    engine.startCapture({commandLine.pcapFile, fromFile ? QString() : adapter});
    const int code = QCoreApplication::exec();
    engine.stopCapture();
    ToolRunner::killAllTools();
    return code;
}
