#pragma once

#include "model/VideoFile.h"

#include <QString>

class DownloadWorkers;

// One stream candidate's download on a worker thread: StreamDownload into a folder of its own
// under the temp folder (named after the address, so that catching the same stream again after
// a failure reuses the segments already there), progress as the percentage of segments in the
// row ("Live 1:23" with the seconds recorded for a live stream) and the bytes on disk in the
// record's received count, and at the end the stream assembly, the row's failure reason
// ("Timeout", "Conn err") or "Protected". A live recording the user stopped is assembled too.
class StreamWorker final
{
public:
    StreamWorker(DownloadWorkers& workers, qsizetype recordIndex, VideoFile copy);

    void run();

    // The folder of one stream's segments and tracks, ending without "/".
    static QString folderFor(const QString& tempFolder, const QString& url);

private:
    void fail(const QString& reason, bool cancel);

    DownloadWorkers& m_workers;
    qsizetype m_recordIndex;
    VideoFile m_copy;
};
