#pragma once

#include <QString>

class Engine;

// What the program without windows is asked to do.
struct HeadlessRun
{
    bool list = false;     // print the library and return
    QString pcapFile;      // analyse this capture file instead of live traffic
    QString interfaceName; // capture on this adapter only (the setting when empty)
};

// The program without windows (--headless), after the start-up: unless `list` is set, keeps
// running until the event loop quits (SIGINT or SIGTERM). Returns the process exit code.
// Needs a QCoreApplication.
int runHeadless(Engine& engine, const HeadlessRun& run);
