#pragma once

struct CommandLine;
class Engine;

// The program without windows (--headless): runs the start-up, then, unless --list is given,
// keeps running until SIGINT or SIGTERM. Returns the process exit code. Needs a
// QCoreApplication. Capture, probe and the library listing hook in here.
int runHeadless(Engine& engine, const CommandLine& commandLine);
