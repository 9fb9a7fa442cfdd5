#pragma once

#include "tools/ConvertCommand.h"
#include "tools/ToolJobThread.h"
#include "tools/ToolRunner.h"

#include <QList>
#include <QObject>

#include <functional>

// One run of the converter: the files one after another on a worker thread of the job, each
// with one ffmpeg command from the chosen parameters. Progress comes from ffmpeg's
// "-progress" reports. A file is written under its own scratch name beside its output and moved
// in once ffmpeg succeeded, never over a file that appeared meanwhile (it then takes the next
// free name, which the result tells), so a failed or skipped file leaves neither a partial
// output nor a damaged earlier file; the source is only ever read. Used by the converter window and by
// `trawlix --convert`; signals come from the worker thread.
class ConvertJob final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConvertJob)

public:
    struct Item
    {
        QString source;
        QString output;
        int durationSeconds = 0; // expected duration; 0: taken from the source
    };

    // The chosen parameters, shared by every file of the run.
    struct Settings
    {
        std::array<QString, ParamListCount> values;
        bool audioOnly = false;
        int effect = -1;
        bool cut = false; // honoured only for a run of one file
        int cutFrom = 0;
        int cutTo = 0;
    };

    struct FileResult
    {
        enum class Code
        {
            Converted,
            Skipped,   // the output exists and was not to be overwritten
            Cancelled, // "Skip" or the end of the run stopped it
            Failed,    // ffmpeg failed; error holds its last line
            Refused,   // the source is no media file, or the output would replace it
        };
        Code code = Code::Failed;
        QString output;
        QString error;
    };

    // What the converter needs to know of a source before converting it.
    struct SourceFacts
    {
        bool media = false;
        QString reason; // why it is no media file (ffprobe's message)
        double durationSeconds = 0;
        double frameRate = 0;
    };

    explicit ConvertJob(QObject* parent = nullptr);
    ~ConvertJob() override; // ends a running conversion and waits for it

    // Asked on the worker thread when an output exists: true overwrites it. Unset: the file is
    // skipped.
    std::function<bool(const QString& output)> confirmOverwrite;

    // Starts the run; false when one is already running.
    bool start(const QList<Item>& items, const Settings& settings);
    // Ends the current file and goes on with the next ("Skip").
    void skip();
    // Ends the current file and the run.
    void cancel();
    // Blocks until the run is over; the results in item order (files not reached are missing).
    QList<FileResult> wait();
    bool running() const { return m_job.running(); }

    // The settings a profile gives with "Use default parameters" checked.
    static Settings defaults(const ProfileSet& set, int profile);
    // folder + cleaned title + "." + extension.
    static QString outputPath(const QString& folder, const QString& title, const QString& extension);
    // The request for one item of a run (output is the final name).
    static ConvertRequest request(const Item& item, const Settings& settings, bool single, double frameRate);
    // runFlag (may be null) ends ffprobe when cleared.
    static SourceFacts probe(const QString& path, ToolRunner::RunFlag* runFlag = nullptr);
    // True when this ffmpeg has the frei0r filter (the effects list is offered only then).
    static bool effectsAvailable();
    // "Converting name.mp4: 42%"
    static QString caption(int percent, const QString& outputName);

signals:
    void fileStarted(int index, const QString& outputName);
    void progressChanged(int percent, const QString& caption);
    void fileFinished(int index, const ConvertJob::FileResult& result);
    void finished();

private:
    QList<FileResult> run(const QList<Item>& items, const Settings& settings);
    FileResult convert(const Item& item, const Settings& settings, bool single);

    // Its run flag is cleared by cancel(): it ends the probe of a file and the run.
    ToolJobThread<QList<FileResult>> m_job{ToolJobThread<QList<FileResult>>::Reuse::Again, ToolJobState::Running};
    ToolRunner::RunFlag m_fileFlag{false}; // cleared by skip() and cancel(): ends the current file
};
