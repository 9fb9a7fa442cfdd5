#pragma once

#include "tools/ToolCommand.h"

#include <QList>
#include <QString>
#include <QStringList>

// The technical description of a media file's video and audio streams, read from the text
// ffprobe prints for "-show_streams". Values are kept exactly as ffprobe printed them.
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

    // The ffprobe command for a file.
    static ToolCommand command(const QString& path);

    // The window's root text: "Media Analyzer: " + title, with "." + the lower-cased format
    // when there is one.
    static QString rootText(const QString& title, const QString& format);

    // Every video and audio stream of ffprobe's output, in order; other stream types and
    // output without stream blocks give nothing.
    static QList<Shown> parse(const QString& ffprobeOutput);

    // Takes one output line into the values; returns false when the line holds no known key.
    bool take(const QString& line);

    // The rows of this stream by its type; empty for any type but video and audio.
    QStringList rows() const;
};
