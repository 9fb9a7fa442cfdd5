#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine
{
    QString dataDir;                              // --data-dir DIR
    QString pcapFile;                             // --pcap FILE: analyse a capture file instead of live traffic
    QString interfaceName;                        // --interface NAME: capture on this adapter only
    bool headless = false;                        // --headless: no windows; print what happens
    bool list = false;                            // --list: print the library and exit (with --headless)
    bool video = false;                           // --video: detect videos in this run (with --headless)
    bool audio = false;                           // --audio: detect music in this run (with --headless)
    bool startHidden = false;                     // "/min" anywhere in the arguments
    int recordSeconds = 0;                        // --record SECONDS: record the computer's sound into the library
    QString recordFormat = QStringLiteral("mp3"); // --format mp3|wav (with --record)
    QString error;                                // non-empty when the arguments could not be read

    static constexpr int MaxRecordSeconds = 24 * 3600;

    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};
