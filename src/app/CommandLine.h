#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine
{
    QString dataDir;                              // --data-dir DIR
    QString pcapFile;                             // --pcap FILE: analyse a capture file instead of live traffic
    QString interfaceName;                        // --interface NAME: capture on this adapter only
    QString keyLogFile;                           // --keylog FILE: decrypt HTTPS with this TLS key log
    bool browser = false;                         // --browser [NAME] [URL]: start a browser that logs its TLS keys
    QString browserName;                          // NAME (empty: the default browser)
    QString browserUrl;                           // URL (empty: the browser's start page)
    bool headless = false;                        // --headless: no windows; print what happens
    bool list = false;                            // --list: print the library and exit (with --headless)
    bool video = false;                           // --video: detect videos in this run (with --headless)
    bool audio = false;                           // --audio: detect music in this run (with --headless)
    bool startHidden = false;                     // "/min" as an argument of its own
    int recordSeconds = 0;                        // --record SECONDS: record the computer's sound into the library
    QString recordFormat = QStringLiteral("mp3"); // --format mp3|wav (with --record)
    QString downloadLink;                         // --download-link URL: download by link into the library
    bool audioOnly = false;                       // --audio-only (with --download-link)
    QString playlistItems;                        // --playlist-items 1,3-5 (with --download-link)
    QString convertFile;                          // --convert FILE: convert FILE without a window
    QString profile;                              // --profile "GROUP/NAME" (with --convert)
    QString outputDir;                            // --output DIR (with --convert)
    bool listProfiles = false;                    // --list-profiles: print the profile names
    bool help = false;                            // --help or -h: print the options and exit
    bool version = false;                         // --version or -v: print the version and exit
    QString error;                                // non-empty when the arguments could not be read

    // --cut FILE --from SECONDS --to SECONDS [--output DIR]: cut a fragment without a window
    QString cutFile;
    qint64 cutFromMs = -1;
    qint64 cutToMs = -1;

    static constexpr int MaxRecordSeconds = 24 * 3600;

    static CommandLine parse(const QStringList& arguments);
    // Reads the cutter's options at arguments[i] (moving i past a value); false for other options.
    static bool parseCutOption(const QStringList& arguments, qsizetype& i, CommandLine& result);
    static QString usage();
    // "trawlix 1.2.3".
    static QString versionLine();
    // The one line a mistake prints: what is wrong and where the options are listed.
    QString errorLine() const;
};
