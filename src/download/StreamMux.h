#pragma once

#include "download/StreamFeed.h"
#include "streams/StreamPlan.h"
#include "tools/ToolRunner.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A stream's tracks muxed with `ffmpeg -c copy` into one file in the stream's folder, straight
// from the segment files: each track reaches ffmpeg through a FIFO of its own in the folder
// ("input<n>.fifo"; in a private temporary folder where the folder's file system has no FIFOs),
// fed by a thread of its own (StreamFeed), so ffmpeg may read its inputs in any interleaving
// without a deadlock; a track that cannot be fed whole ends ffmpeg at once. The mux may start before the segments are
// there: a feed waits for each file until arrived() names it, so the mux runs while the download goes on. The muxed
// file ("muxed<extension>") counts only when ffmpeg ended with status 0 after every byte of every track went in;
// otherwise, and when abandoned (the download failed or was stopped), ffmpeg's process group is ended and its output
// removed. The segment files are never touched.
class StreamMux final
{
public:
    enum class Outcome
    {
        Muxed,     // `file` holds every track
        Refused,   // ffmpeg failed (`why`): codecs that do not fit the container, broken bytes
        Abandoned, // abandon(), or the stop flag while finishing
    };

    struct Result
    {
        Outcome outcome = Outcome::Abandoned;
        QString file;
        QString why;
    };

    // How much of ffmpeg's output is kept for the reason of a failure.
    static constexpr qsizetype kKeptOutput = 4096;

    // inputs: per track, its files in order (StreamJoin::order), the video (or only) track
    // first. extension with its dot: ".mp4" or ".mkv".
    StreamMux(QString folder, QList<QStringList> inputs, QString extension);
    // Abandons a mux still running and waits for its threads.
    ~StreamMux();
    StreamMux(const StreamMux&) = delete;
    StreamMux& operator=(const StreamMux&) = delete;

    // Makes the FIFOs and starts ffmpeg and the feeds; false (nothing runs) when a FIFO cannot
    // be made.
    bool start();
    // path (one of the inputs' files) is whole on disk now.
    void arrived(const QString& path);
    // Ends the mux: no further byte goes in, ffmpeg is ended.
    void abandon();
    // Waits until ffmpeg has ended (every file must arrive, or abandon() be called, for it to
    // end), then tells how it went. stop (may be null) abandons the mux while waiting.
    Result finish(const std::atomic<bool>* stop = nullptr);

    // ".mp4", or ".mkv" when an RFC 6381 codec of the plan has no place in MP4 (VP8, Vorbis,
    // Theora, WebVTT).
    static QString containerFor(const StreamPlan& plan);
    // The ffmpeg arguments after "-i <first track>": the other tracks as inputs, the video of the
    // first and the sound of the second when there are two, every stream copied.
    static QStringList muxArguments(const QStringList& trackFiles);

private:
    void runTool();
    void feedTrack(int track);
    bool waitFor(const QString& path);
    bool ending() const { return m_abandoned || m_toolEnded; }
    void joinAll();
    QString fifoPath(int track) const;
    bool makeFifosIn(const QString& folder);

    const QString m_folder;
    const QList<QStringList> m_inputs;
    const QString m_extension;
    const QString m_output;
    QString m_fifoFolder;
    std::optional<QTemporaryDir> m_privateFolder; // where the stream's folder takes no FIFO

    std::mutex m_mutex;
    std::condition_variable m_changed;
    QSet<QString> m_arrived;
    std::atomic<bool> m_abandoned{false};
    std::atomic<bool> m_toolEnded{false};
    ToolRunner::RunFlag m_running{true};
    ToolRunner::ToolResult m_tool;
    QByteArray m_lastOutput; // the end of what ffmpeg printed, for the reason of a failure
    std::vector<StreamFeed::Outcome> m_fed;
    std::vector<std::thread> m_feeds;
    std::thread m_toolThread;
    bool m_started = false;
    bool m_joined = false;
};
