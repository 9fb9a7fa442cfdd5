#pragma once

#include "tools/ToolCommand.h"

#include <QList>
#include <QString>
#include <QStringList>

// The technical description of a media file's video and audio streams, read from ffprobe's
// JSON for "-show_streams" (its plain key=value output lets a tag value pass for a key). Texts
// are kept exactly as ffprobe printed them; values ffprobe leaves out (N/A) stay empty.
struct StreamInfo
{
    QString index;
    QString duration;
    QString codecName;
    QString codecLongName;
    QString profile;
    QString codecType;
    QString width;
    QString height;
    QString displayAspectRatio; // read, never shown
    QString pixelFormat;
    QString realFrameRate;
    QString averageFrameRate; // read, never shown
    QString bitRate;
    QString sampleRate;
    QString channels;
    QString channelLayout; // read, never shown
    QString creationTime;
    QString language;

    // One shown stream: its heading ("Stream #1 (audio stream)") and its rows ("Codec name: aac").
    struct Shown
    {
        QString heading;
        QStringList rows;
    };

    // Output beyond this is no ffprobe report of a media file; it shows nothing.
    static constexpr qsizetype MaxOutputSize = 8 * 1024 * 1024;
    // At most this many streams are shown.
    static constexpr int MaxStreams = 256;

    // The ffprobe command for a file.
    static ToolCommand command(const QString& path);

    // The window's root text: "Media Analyzer: " + title, with "." + the lower-cased format
    // when there is one.
    static QString rootText(const QString& title, const QString& format);

    // Every video and audio stream of ffprobe's output, in order; other stream types and
    // output that is not one well-formed JSON object give nothing. Each stream starts empty.
    static QList<Shown> parse(const QString& ffprobeOutput);

    // The rows of this stream by its type; empty for any type but video and audio.
    QStringList rows() const;
};
