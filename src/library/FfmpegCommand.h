#pragma once

#include "tools/ToolCommand.h"

// An ffmpeg job of the library. "-nostdin" keeps ffmpeg from reading the terminal: a job that
// meets an existing output without "-y" ends instead of waiting for an answer nobody gives.
inline ToolCommand ffmpegCommand(const QStringList& arguments)
{
    return {QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-nostdin")} + arguments};
}
