#pragma once

#include "app/CommandLine.h"

#include <memory>

class Settings;
class SingleInstance;
struct LibraryContext;

// What the program does before its first window: texts, the data folder (made the current
// directory), "videos.xml", the working folders, the settings store, the single instance and
// the clean-up of what an earlier run left behind. The object owns the settings store and the
// single-instance claim, so it lives as long as the program runs. Link downloads an earlier run
// finished but did not import yet enter the library given.
class StartUp final
{
public:
    enum class Result
    {
        Ready,          // this is the first instance; the window may open
        SecondInstance, // another instance runs (and was asked to show itself): exit 0
        Beside,         // another instance runs; this run works beside it (no clean-up)
    };

    StartUp(CommandLine commandLine, const LibraryContext& library);
    ~StartUp();
    StartUp(const StartUp&) = delete;
    StartUp& operator=(const StartUp&) = delete;

    Result run();

    // Valid after run(); null for a second instance and a run beside one.
    SingleInstance* singleInstance() const { return m_singleInstance.get(); }
    // True when run() found no settings file and made the first one.
    bool firstStart() const { return m_firstStart; }

    // The steps that change the data folder, in the order run() takes them. Each works on the
    // data folder of AppPaths.
    static void createWorkingFolders();
    static void cleanTemp();           // files nobody holds open
    static void emptyScratchFolders(); // "Screens/" ("TempRecords/" and "TempDownloads/" are imported)
    // The converter's and the cutter's scratch files that no running job holds (a killed run's).
    static void removeStaleScratchFiles();
    // "TempDownloads/": unfinished work (hidden entries, yt-dlp's ".partial-" folders and its
    // ".part", ".ytdl" and ".temp" files) goes; finished files with a video or audio stream
    // enter the library, and the others stay.
    static void takeInLinkDownloads(const LibraryContext& library);
    static void deleteMarkedLibraryFiles(); // the files the user deleted

    // A name of unfinished link-download work.
    static bool isUnfinishedLinkDownload(const QString& fileName);

private:
    CommandLine m_commandLine;
    const LibraryContext& m_library;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<SingleInstance> m_singleInstance;
    bool m_firstStart = false;
};
