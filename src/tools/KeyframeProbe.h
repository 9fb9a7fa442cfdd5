#pragma once

#include "tools/ToolCommand.h"
#include "tools/ToolRunner.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// What the cutter learns from ffprobe about a file before it copies streams: whether ffprobe
// could read it, whether it has a video stream (cover pictures do not count), its duration,
// and where the keyframes of its first video stream lie. A stream copy can only start on a
// keyframe, so a cut starts at the keyframe at or before the chosen start.
//
// Keyframe times come from decoding only the keyframes ("-skip_frame nokey") and are kept
// relative to the file's start time, which is also what ffmpeg's "-ss" counts from.
struct KeyframeProbe
{
    // How the run of ffprobe ended.
    enum class Status
    {
        Read,    // ffprobe read what it could (readable says whether that was media)
        Failed,  // ffprobe is missing, crashed or refused the file
        Stopped, // the run flag ended it
        TooLong, // its report passed MaxOutputSize and it was ended there
    };

    Status status = Status::Failed;
    bool readable = false; // ffprobe reported the file's format
    bool hasVideo = false;
    qint64 durationMs = -1;    // -1 when the container does not say
    QList<qint64> keyframesUs; // sorted, each at most once, relative to the start time
    // The report exceeded the bounds below and the list stops early. A cut still starts at or
    // before its chosen start (at the last keyframe read), only perhaps further before it.
    bool truncated = false;

    // ffprobe's report of a hostile file is bounded: ffprobe is ended once it printed more
    // than MaxOutputSize, and more keyframes than MaxKeyframes are not kept (an hour of
    // intra-only video at 60 frames per second fits both).
    static constexpr qsizetype MaxOutputSize = 32 * 1024 * 1024;
    // Reading the keyframes of hours of video takes seconds; a file that blocks its reader
    // (a FIFO) is given up after this.
    static constexpr int TimeLimitMs = 5 * 60 * 1000;
    static constexpr qsizetype MaxKeyframes = 500000;
    static constexpr qsizetype MaxLineSize = 4096;

    // The ffprobe command for path; with untilMs >= 0 ffprobe stops reading shortly after
    // that time of the file, which is all a cut starting there needs.
    static ToolCommand command(const QString& path, qint64 untilMs = -1);

    // Reads ffprobe's compact report (see command()). Anything not of that form is skipped.
    // The status is Read.
    static KeyframeProbe parse(const QString& ffprobeOutput);

    // Runs ffprobe on the file (blocks the calling thread). Clearing runFlag (may be null) ends
    // ffprobe within a tenth of a second; a flag cleared before the call starts nothing.
    static KeyframeProbe probe(const QString& path, qint64 untilMs = -1, ToolRunner::RunFlag* runFlag = nullptr);

    // Why the probe read nothing, for the user; empty when its status is Read.
    QString failureText() const;

    // Where a stream copy of a cut chosen to start at startMs really starts, in whole
    // milliseconds that ffmpeg's "-ss" lands on: the last keyframe at or before the start,
    // rounded up to the millisecond (never before the keyframe, so ffmpeg seeks to it and not
    // to the one before); the file's start when no keyframe lies before it. Without a video
    // stream the cut starts where it was chosen (audio is cut on frame boundaries).
    qint64 cutStartMs(qint64 startMs) const;
};
