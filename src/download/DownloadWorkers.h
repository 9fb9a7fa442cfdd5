#pragma once

#include "download/DownloadContext.h"
#include "download/DownloadTimeouts.h"
#include "download/StreamDownload.h"
#include "model/VideoFile.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

class DownloadRows;

// Starts the download workers, one thread per part, and owns them: the destructor stops every
// part after its current block and waits for the threads.
class DownloadWorkers final
{
public:
    // Runs once per completed record, on the thread of the part that completed it; it joins
    // the parts and removes the row. Without one, completion only removes the row.
    using AssemblyHook = std::function<void(qsizetype videoFileIndex)>;

    DownloadWorkers(VideoFileArray& videoFiles, DownloadRows& rows);
    ~DownloadWorkers();
    DownloadWorkers(const DownloadWorkers&) = delete;
    DownloadWorkers& operator=(const DownloadWorkers&) = delete;

    // A stream whose tracks are complete; runs on the stream's thread and removes the row.
    using StreamAssemblyHook = std::function<void(qsizetype videoFileIndex, const StreamDownload::Result& result)>;

    // Set both before the first start().
    void setAssemblyHook(AssemblyHook hook) { m_assembly = std::move(hook); }
    void setStreamAssemblyHook(StreamAssemblyHook hook) { m_streamAssembly = std::move(hook); }
    bool hasAssemblyHook() const { return bool(m_assembly); }
    void setTimeouts(const DownloadTimeouts& timeouts) { m_timeouts = timeouts; }
    const DownloadTimeouts& timeouts() const { return m_timeouts; }

    // Starts one worker for part 0 (whole file) or 1 to 4 (quarters) of the record at
    // recordIndex; copy is the record as the probe accepted it (request data and total).
    void start(qsizetype recordIndex, const VideoFile& copy, int part);
    // Starts the download of a stream candidate (see StreamWorker).
    void startStream(qsizetype recordIndex, const VideoFile& copy);

    // Stops every download (a live recording keeps and assembles what it recorded) and waits
    // up to `timeout` for them to end; false when some still run. No download starts after it.
    bool stop(std::chrono::milliseconds timeout);
    // Waits until no worker runs; false when the time ran out.
    bool waitForIdle(std::chrono::milliseconds timeout);
    int running() const;

    // Set once stop() began or the workers go away.
    const std::atomic<bool>& stopping() const { return m_stopping; }

private:
    // What each worker is handed; the part files go to the temp folder.
    DownloadContext context() const;
    void complete(qsizetype recordIndex);
    void completeStream(qsizetype recordIndex, const StreamDownload::Result& result);

    struct Worker
    {
        std::thread thread;
        bool finished = false;
    };

    void reapFinished(); // under m_mutex
    void startThread(std::function<void()> task);

    VideoFileArray& m_videoFiles;
    DownloadRows& m_rows;
    AssemblyHook m_assembly;
    StreamAssemblyHook m_streamAssembly;
    DownloadTimeouts m_timeouts;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::list<Worker> m_workers;
    int m_running = 0;
};
