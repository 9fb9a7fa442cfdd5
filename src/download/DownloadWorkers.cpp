#include "download/DownloadWorkers.h"

#include "base/AppPaths.h"
#include "download/DownloadRows.h"
#include "download/SegmentedDownload.h"
#include "download/StreamWorker.h"

DownloadWorkers::DownloadWorkers(VideoFileArray& videoFiles, DownloadRows& rows)
    : m_videoFiles(videoFiles)
    , m_rows(rows)
{}

DownloadWorkers::~DownloadWorkers()
{
    m_stopping = true;
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& worker : workers) {
        if (worker.thread.joinable())
            worker.thread.join();
    }
}

DownloadContext DownloadWorkers::context() const
{
    return {m_videoFiles, m_rows, m_stopping, AppPaths::folder(AppPaths::Folder::Temp), m_timeouts};
}

void DownloadWorkers::reapFinished()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->finished) {
            it->thread.join(); // already past its last statement
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void DownloadWorkers::start(qsizetype recordIndex, const VideoFile& copy, int part)
{
    startThread([this, recordIndex, copy, part] {
        SegmentedDownload(
            context(), [this](qsizetype index) { complete(index); }, recordIndex, copy, part)
            .run();
    });
}

void DownloadWorkers::startStream(qsizetype recordIndex, const VideoFile& copy)
{
    startThread([this, recordIndex, copy] {
        StreamWorker(
            context(), [this](qsizetype index, const StreamDownload::Result& result) { completeStream(index, result); },
            recordIndex, copy)
            .run();
    });
}

void DownloadWorkers::startThread(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    reapFinished();
    Worker& worker = m_workers.emplace_back();
    ++m_running;
    worker.thread = std::thread([this, task = std::move(task), &worker] {
        task();
        std::lock_guard finishedLock(m_mutex);
        worker.finished = true;
        --m_running;
        m_idle.notify_all();
    });
}

bool DownloadWorkers::stop(std::chrono::milliseconds timeout)
{
    m_stopping = true;
    return waitForIdle(timeout);
}

bool DownloadWorkers::waitForIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_running == 0; });
}

int DownloadWorkers::running() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

void DownloadWorkers::completeStream(qsizetype recordIndex, const StreamDownload::Result& result)
{
    if (m_streamAssembly)
        m_streamAssembly(recordIndex, result);
    else
        m_rows.remove(recordIndex);
}

void DownloadWorkers::complete(qsizetype recordIndex)
{
    if (m_assembly)
        m_assembly(recordIndex);
    else
        m_rows.remove(recordIndex);
}
