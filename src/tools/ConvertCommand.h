#pragma once

#include "tools/ConversionProfiles.h"
#include "tools/ToolCommand.h"

#include <QString>
#include <QStringList>

#include <array>

// The ffmpeg command of one conversion: the profile's chosen parameters, in the converter's
// order, mapped to ffmpeg's encoder names, with the optional cut range and video effect. It is
// an argument vector, so a title or path never becomes an option or a command; parameter texts
// from the profile file that are no codec name or number are left out.
struct ConvertRequest
{
    QString source;
    QString output;
    std::array<QString, ParamListCount> values; // the selected texts; empty: a list without entries
    bool audioOnly = false;
    int effect = -1; // index into ConvertCommand::effects(); -1: none
    bool cut = false;
    int cutFrom = 0; // seconds
    int cutTo = 0;
    // What the source holds, so that a profile never scales up or raises the frame rate.
    double sourceFrameRate = 0; // frames per second; 0: unknown
};

namespace ConvertCommand {

struct Effect
{
    const char16_t* text; // the interface text's role
    const char* filter;   // the frei0r filter
};

// The fifteen video effects in list order.
const std::array<Effect, 15>& effects();

// The encoder ffmpeg uses for a codec text of the lists. "aac" is ffmpeg's own AAC encoder and
// "opencore_amrnb" maps to it too: the ffmpeg of common distributions has neither
// libvo_aacenc nor libopencore_amrnb.
QString videoEncoder(const QString& codec);
QString audioEncoder(const QString& codec);

// The video filter that fits a frame into "WxH" without ever scaling up, keeping the aspect
// ratio and even dimensions; empty when size is no "WxH".
QString scaleFilter(const QString& size);

// The cut's length in seconds; 0 when there is no cut or it is empty.
int cutLength(const ConvertRequest& request);

// A frame rate as ffmpeg and ffprobe write it ("25", "29.97", "30000/1001") in frames per
// second; 0 for a zero denominator.
double rateValue(const QString& text);

ToolCommand build(const ConvertRequest& request);

} // namespace ConvertCommand
