#include "app/Headless.h"

#include "app/CommandLine.h"
#include "app/Engine.h"
#include "app/QuitOnSignal.h"
#include "app/StartUp.h"
#include "tools/ToolRunner.h"

#include <QCoreApplication>

int runHeadless(Engine& engine, const CommandLine& commandLine)
{
    Q_UNUSED(engine);
    StartUp startUp(commandLine);
    if (startUp.run() == StartUp::Result::SecondInstance)
        return 0;
    if (commandLine.list)
        return 0;
    const QuitOnSignal quitOnSignal;
    const int code = QCoreApplication::exec();
    ToolRunner::killAllTools();
    return code;
}
