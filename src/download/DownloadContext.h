#pragma once

#include "download/DownloadTimeouts.h"
#include "model/VideoFile.h"

#include <QString>

#include <atomic>

class DownloadRows;

// What a download worker (one part of a plain download, or one stream) is handed by whoever
// starts it: the records and rows it updates, the stop flag it obeys, the folder of its files
// and its time-outs. Whatever it refers to outlives the worker.
struct DownloadContext
{
    VideoFileArray& videoFiles;
    DownloadRows& rows;
    const std::atomic<bool>& stopping;
    QString tempFolder; // ends in "/"
    DownloadTimeouts timeouts;
};
