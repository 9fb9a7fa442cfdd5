#include "app/CommandLine.h"

#include <QApplication>

#include <cstdio>

// Start-up is completed by the application frame; this first version only parses arguments.
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
    QApplication app(argc, argv);
    return 0;
}
