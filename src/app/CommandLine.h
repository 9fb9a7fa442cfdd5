#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine
{
    QString dataDir;          // --data-dir DIR
    QString pcapFile;         // --pcap FILE: analyse a capture file instead of live traffic
    QString interfaceName;    // --interface NAME: capture on this adapter only
    bool headless = false;    // --headless: no windows; print what happens
    bool list = false;        // --list: print the library and exit (with --headless)
    bool startHidden = false; // "/min" anywhere in the arguments
    QString error;            // non-empty when the arguments could not be read

    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};
