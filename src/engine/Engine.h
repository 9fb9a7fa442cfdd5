#pragma once

#include "capture/PacketCapture.h"
#include "download/DownloadTimeouts.h"
#include "library/ExportCopies.h"
#include "library/LibraryContext.h"
#include "library/LibraryScan.h"
#include "library/MediaTableModel.h"
#include "model/Get.h"
#include "model/MP3File.h"
#include "model/VideoFile.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

// Threads of Trawlix, and the one rule they follow.
//
// Who runs where:
// - The interface thread: this Engine, the media table model, every window, timer and movie,
//   and the player with its position poll. The desktop run and the headless run each build one
//   Engine on this thread and nothing else owns a worker.
// - The capture thread (PacketCapture, "Capture"): reads frames and runs the request
//   analyser inline. Owned here; started and stopped by startCapture()/stopCapture().
// - The probe thread (GetEachURLThread): one pass of the candidate probe every 500 ms.
// - The download part threads (DownloadWorkers): one to four per accepted candidate; the part
//   whose bytes complete the total runs the captured-file assembly on its own thread.
// - The library workers (PeriodicWorker: "RecordingsImporter", "LinkDownloadImporter",
//   "CacheMusicFollower", "CacheMusicCollector"): a pass, a pause, until stopped.
// - The library scan (ScanScheduler): one scan at a time on its own pool.
// - One-off jobs (importFiles(), exportFiles()): the engine's job pool.
// - Tool runs (ToolRunner) block the thread that calls them, which is never the interface
//   thread for a long run.
// Every one of these is owned by the Engine, through members declared after the arrays and
// the table they use, and each is stopped and joined (never detached) before they go.
//
// How results reach the interface thread: a worker never touches a widget or a QObject of
// another thread. It calls the core's small interfaces, whose interface-thread side queues the
// work: the Engine's signals (connected with Qt::QueuedConnection, or automatically queued
// because the receiver lives on the interface thread), MediaTableModel changes (queued onto
// the model's thread when made elsewhere), and DownloadList (whose window queues each call).
// Shared arrays are guarded by their own lock (SharedArray) for each append and each
// read-modify-write; switches that workers poll are atomics. No nested event loops.

class CacheMusicCollector;
class CandidateProbe;
class DownloadList;
class DownloadRows;
class DownloadWorkers;
class GetEachURLThread;
class KeyLog;
class WireDecoder;
class RequestAnalyser;
class PeriodicWorker;
class ScanScheduler;

// The program's shared state and long-lived workers, without any window: the record arrays
// of one run and the threads that fill them (capture, probe, library scan, importers,
// collectors). The desktop shell and the headless mode both drive one Engine; each subsystem
// adds its arrays and its start/stop calls here.
class Engine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Engine)

public:
    explicit Engine(QObject* parent = nullptr);
    ~Engine() override;

    VideoFileArray& videoFiles() { return m_videoFiles; }
    ImagesIndexArray& imagesIndexes() { return m_imagesIndexes; }
    TempRecordsFileArray& tempRecordsFiles() { return m_tempRecordsFiles; }
    GetArray& GetArr() { return m_getArr; }
    HistoryArray& HistoryArr() { return m_historyArr; }
    MP3FileArray& mp3Files() { return m_mp3Files; }

    // The media table; it lives on the engine's (the interface) thread.
    MediaTableModel& mediaTable() { return m_mediaTable; }

    // The library's shared state as its workers see it.
    const LibraryContext& library() const { return *m_library; }
    ScanScheduler& scans() { return *m_scans; }
    // Rebuilds the media table from "Videos/" on a worker thread; requests made while a scan
    // runs merge into one further scan with the newest filters.
    void requestScan(const QString& timeFilter, const QString& titleFilter = {});
    // Copies chosen files into the library on the engine's job pool (they can be large);
    // importFinished() follows. The engine waits for running jobs before it goes away.
    void importFiles(const QStringList& paths);
    // Copies library files into a folder of the user's on the engine's job pool: each under its
    // name, or the first free "name (N).ext" when a file has it (nothing there is replaced).
    // The caption shows "42%..Processing " while it copies and is restored at the end;
    // exportFinished() follows with the copies made. Going away ends the copy under way.
    void exportFiles(const QList<ExportCopies::Item>& items, const QString& folder);
    // Blocks until the one-off jobs have ended.
    void waitForJobs();
    // The recordings importer and the link-download importer (a pass, then 1000 ms), the
    // cache-music follower (every 1500 ms) and the browser-cache collector (every 5 s).
    void startLibraryWorkers();
    void stopLibraryWorkers();
    // The page of the current link-download job, asked for by the link-download importer.
    void setLinkPageSource(std::function<QString()> source);

    // Downloads: the rows of the download list (the window calls downloadRows().cancel() when
    // the user removes a row), the part workers and the candidate probe.
    DownloadRows& downloadRows() { return *m_downloadRows; }
    DownloadWorkers& downloadWorkers() { return *m_downloadWorkers; }
    CandidateProbe& candidateProbe() { return *m_candidateProbe; }
    // The window side of the download list and caption; it must outlive the Engine or be
    // detached with nullptr.
    void setDownloadList(DownloadList* list);
    // Called once per completed download with the record's index, on the worker's thread.
    // Set before startProbe(). The engine starts with the captured-file assembly.
    void setAssemblyHook(std::function<void(qsizetype videoFileIndex)> hook);
    void setDownloadTimeouts(const DownloadTimeouts& timeouts); // before startProbe()
    // The probe thread `GetEachURLThread`: a pass over new records every 500 ms.
    void startProbe();
    void stopProbe();
    // Ends the downloads before the program ends; a live recording is assembled meanwhile.
    void stopDownloads();

    // Capture: live traffic (every adapter, or the one named) or a capture file, analysed on
    // the capture thread. Starting again replaces the running capture; the arrays are kept.
    void startCapture(const PacketCapture::Source& source);
    void stopCapture();
    PacketCapture* capture() const { return m_capture.get(); }
    // The TLS key log the capture decrypts with (empty: none; HTTPS is then passed over). Takes
    // effect at the next startCapture(). `own`: Trawlix's own key log, whose read part the
    // capture gives back to the disk (KeyLogLocation).
    void setKeyLogFile(const QString& path, bool own = false)
    {
        m_keyLogFile = path;
        m_keyLogOwn = own;
    }
    QString keyLogFile() const { return m_keyLogFile; }
    bool keyLogOwn() const { return m_keyLogOwn; }
    // Chooses the key log (KeyLogLocation::choose: the command line's, else the settings', else
    // for live capture Trawlix's own, emptied now). False with a reason when Trawlix's own cannot
    // be made; HTTPS is then passed over.
    bool chooseKeyLog(const QString& commandLine, bool live, QString& error);
    // After the settings changed: chooses again (the command line's still wins) and restarts a
    // live capture when the key log is another one now.
    void keyLogSettingChanged();

    // The monitoring switch: while off, frames are read and dropped.
    void setMonitoring(bool on) { m_monitoring.store(on); }
    bool monitoring() const { return m_monitoring.load(); }

    // Candidates created by the analyser in this run.
    qint64 detectedMediaCount() const { return m_detectedMedia.load(); }

    // What the capture is doing, for the main window's status line. Asked on the interface
    // thread, where the capture is started and stopped; the counts are atomics the capture
    // thread adds to.
    enum class CaptureState
    {
        Off,          // no capture started
        Opening,      // live: the adapters are being opened
        Watching,     // live: adapters are open (adapter names the one traffic came from)
        Reading,      // a capture file is being read
        Paused,       // the monitoring switch is off: frames are read and dropped
        NoPermission, // live: no adapter could be opened (rights, or an adapter that is not there)
        NoAdapters,   // live: the system lists no adapter
        Ended,        // the capture file ended, or the capture stopped or failed
    };
    struct CaptureStatus
    {
        CaptureState state = CaptureState::Off;
        QString adapter;          // the adapter traffic came from, the one asked for, or the file
        qint64 requests = 0;      // HTTP requests seen this run (plain, and HTTPS once decrypted)
        qint64 candidates = 0;    // media candidates made this run
        bool keyLog = false;      // a key log is read (HTTPS can be decrypted)
        bool keysMissing = false; // HTTPS passed whose keys the key log lacked
    };
    CaptureStatus captureStatus() const;

signals:
    // HTTPS was seen whose keys the key log never had (a browser not started to write it): once
    // a capture, from the capture thread.
    void keysMissing();
    // A new candidate was appended to videoFiles() at index, as record (emitted on the capture
    // thread; the record may have changed since).
    void candidateDetected(qsizetype index, const VideoFile& record);
    // The capture thread ended (end of a capture file, failure or stop).
    void captureEnded(PacketCapture::Outcome outcome);
    // From library workers (any thread): the main window's caption during copies and imports,
    // its return to the display name, and a tray notice.
    void libraryCaptionChanged(const QString& caption);
    void libraryCaptionRestored();
    void libraryNotice(const QString& text);
    // The collector took music from a browser cache: flash the main window once.
    void libraryFlash();
    // An importFiles() job ended (emitted on the job's thread).
    void importFinished();
    // An exportFiles() job ended with these copies (emitted on the job's thread).
    void exportFinished(const QStringList& copies);

private:
    VideoFileArray m_videoFiles;
    ImagesIndexArray m_imagesIndexes;
    TempRecordsFileArray m_tempRecordsFiles;
    GetArray m_getArr;
    HistoryArray m_historyArr;
    MP3FileArray m_mp3Files;
    MediaTableModel m_mediaTable;
    std::unique_ptr<LibraryContext> m_library;
    std::unique_ptr<ScanScheduler> m_scans;
    std::atomic<bool> m_jobsStop{false}; // set when the engine goes away: a long copy ends
    QThreadPool m_jobs;                  // one-off library jobs; declared after what they use, so joined first
    std::unique_ptr<PeriodicWorker> m_recordingsImporter;
    std::unique_ptr<PeriodicWorker> m_linkImporter;
    std::unique_ptr<PeriodicWorker> m_cacheFollower;
    std::unique_ptr<CacheMusicCollector> m_cacheCollector;
    std::unique_ptr<PeriodicWorker> m_cacheCollectorThread;
    // Destroyed in reverse: the probe thread stops first, then the workers are joined.
    std::unique_ptr<DownloadRows> m_downloadRows;
    std::unique_ptr<DownloadWorkers> m_downloadWorkers;
    std::unique_ptr<CandidateProbe> m_candidateProbe;
    std::unique_ptr<GetEachURLThread> m_probeThread;

    std::atomic<bool> m_monitoring{true};
    std::atomic<qint64> m_detectedMedia{0};
    std::atomic<qint64> m_requestsSeen{0};
    std::atomic<bool> m_keysMissing{false}; // of the running capture
    QString m_keyLogFile;
    bool m_keyLogOwn = false;
    QString m_keyLogCommandLine;
    PacketCapture::Source m_source; // of the last startCapture()
    // Used only on the capture thread; the decoder after the key log it reads.
    std::unique_ptr<RequestAnalyser> m_analyser;
    std::unique_ptr<KeyLog> m_keyLog;
    std::unique_ptr<WireDecoder> m_wireDecoder;
    std::unique_ptr<PacketCapture> m_capture;
};
