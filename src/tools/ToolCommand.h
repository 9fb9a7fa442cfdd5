#pragma once

#include <QString>
#include <QStringList>

// A child-process command: a program and its argument vector. It is never handed to a shell,
// so no file name or title can inject a command. displayText() renders the quoted form for
// display, traces and tests: arguments with spaces or quotes are enclosed in double quotes.
struct ToolCommand
{
    QString program; // "ffmpeg", "ffprobe", "yt-dlp", or an absolute path
    QStringList arguments;

    QString displayText() const;
};
