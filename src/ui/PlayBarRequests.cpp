#include "ui/PlayBarRequests.h"

namespace PlayBarRequests {
namespace {

QString withOneString(QLatin1StringView name, const QString& value)
{
    return QLatin1String("<invoke name=\"") + name + QLatin1String("\" returntype=\"xml\"><arguments><string>") +
           value + QLatin1String("</string></arguments></invoke>");
}

} // namespace

QString progress(const QString& position, const QString& length, int percent)
{
    return QLatin1String("<invoke name=\"CallMeFromApplication\" returntype=\"xml\"><arguments><string>") + position +
           QLatin1String("</string><string>") + length + QLatin1String("</string><number>") +
           QString::number(percent) + QLatin1String("</number></arguments></invoke>");
}

QString playButton(const QString& which)
{
    return withOneString(QLatin1StringView("CallMeFromApplicationSetPlayButton"), which);
}

QString endAnimation()
{
    return withOneString(QLatin1StringView("CallMeFromApplicationPlayEndAnimation"), QStringLiteral("end"));
}

QString volume(const QString& text)
{
    return withOneString(QLatin1StringView("CallMeFromApplicationSetVolume"), text);
}

} // namespace PlayBarRequests
