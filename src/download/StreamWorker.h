#pragma once

#include "download/DownloadContext.h"
#include "download/StreamDownload.h"
#include "model/VideoFile.h"

#include <QString>

#include <functional>

// One stream candidate's download on a worker thread: StreamDownload into a folder of its own
// under the temp folder (named after the address, so that catching the same stream again after
// a failure reuses the segments already there), progress as the percentage of segments in the
// row ("Live 1:23" with the seconds recorded for a live stream) and the bytes on disk in the
// record's received count, and at the end the stream assembly, the row's failure reason
// ("Timeout", "Conn err") or "Protected". A live recording the user stopped is assembled too.
class StreamWorker final
{
public:
    // Runs on the stream's thread once its tracks are complete; it assembles them and removes
    // the row.
    using Completion = std::function<void(qsizetype recordIndex, const StreamDownload::Result& result)>;

    StreamWorker(DownloadContext context, Completion complete, qsizetype recordIndex, VideoFile copy);

    void run();

    // The folder of one stream's segments and tracks, ending without "/".
    static QString folderFor(const QString& tempFolder, const QString& url);

private:
    void fail(const QString& reason, bool cancel);

    const DownloadContext m_context;
    const Completion m_complete;
    qsizetype m_recordIndex;
    VideoFile m_copy;
};
