#pragma once

#include "model/VideoFile.h"

#include <QString>

#include <atomic>
#include <functional>

class DownloadRows;
class DownloadWorkers;

// Checks one new candidate with a ranged request of its own, replaying the browser's headers
// and cookies. An answer of 200 or 206 with at least 50000 bytes that is no duplicate gets a
// row and one or four download workers; then its page title and site icon are looked up.
// Every record it looks at ends Old (unless the user cancelled it meanwhile).
class CandidateProbe final
{
public:
    static constexpr qint64 SmallestMedia = 50000;
    static constexpr qint64 SizeLimit = 2000000000; // no duplicate test, one worker
    static constexpr int DashItag = 100;

    CandidateProbe(VideoFileArray& videoFiles, DownloadRows& rows, DownloadWorkers& workers);

    // Where the `accelerator` setting comes from; the settings store by default.
    void setAccelerator(std::function<bool()> accelerator) { m_accelerator = std::move(accelerator); }

    // Ends the current request early and makes pass() return; for shutting down.
    void requestStop() { m_stopping = true; }
    bool stopping() const;

    // One pass: every record whose state is New, including records appended meanwhile.
    void pass();
    void probe(qsizetype recordIndex);

    // The row's name: the address, or the DASH segment text for "/videoplayback?" addresses
    // whose "itag" is above 100.
    static QString displayName(const QString& url);
    static QString dashPrefix();
    // "[HLS] " or "[DASH] " before a stream's row name; empty for a plain file.
    static QString streamMark(VideoFile::Stream stream);

    // The request history's entry kinds: plain entries get the long page time-out.
    static bool isPlainHistoryEntry(const QString& entry);

private:
    struct Answer
    {
        bool ok = false;
        long status = 0;
        qint64 length = 0;
    };

    Answer request(const VideoFile& record) const;
    void accept(qsizetype recordIndex, const Answer& answer);
    void acceptStream(qsizetype recordIndex);
    void findTitle(qsizetype recordIndex);
    void useTitle(qsizetype recordIndex, const QString& page, const QString& title);
    void fetchIcon(qsizetype recordIndex);

    VideoFileArray& m_videoFiles;
    DownloadRows& m_rows;
    DownloadWorkers& m_workers;
    std::function<bool()> m_accelerator;
    std::atomic<bool> m_stopping{false};
};
