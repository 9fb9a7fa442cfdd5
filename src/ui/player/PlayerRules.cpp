#include "ui/player/PlayerRules.h"

#include <algorithm>
#include <array>

namespace PlayerRules {

int volumeAfterMinus(int volume, bool amplifier)
{
    int result = volume - VolumeStep;
    if (!amplifier && result >= NormalMaxVolume)
        result = NormalMaxVolume;
    else if (result > AmplifiedMaxVolume - 1)
        result = AmplifiedMaxVolume;
    else if (volume < 20)
        // Low volumes step down to 1 rather than to silence (mute is its own button); a player
        // already at 0 stays there instead of getting louder.
        result = std::min(volume, 1);
    return std::max(result, 0);
}

int volumeAfterPlus(int volume, bool amplifier)
{
    int result = volume + VolumeStep;
    if (!amplifier && result > NormalMaxVolume - 1)
        result = NormalMaxVolume;
    else if (result > AmplifiedMaxVolume - 1)
        result = AmplifiedMaxVolume;
    return std::max(result, 0);
}

int clampVolume(int volume, bool amplifier)
{
    return std::clamp(volume, 0, amplifier ? AmplifiedMaxVolume : NormalMaxVolume);
}

bool restartsFromStart(qint64 timeMs)
{
    return timeMs >= 1001 && timeMs <= 1999;
}

bool stretchesTo16by9(const QString& storedAspect)
{
    return storedAspect != QLatin1String("true");
}

bool isAudioPath(const QString& path)
{
    static constexpr std::array<QLatin1StringView, 12> extensions = {
        QLatin1StringView(".mp3"), QLatin1StringView(".m4a"), QLatin1StringView(".wav"),  QLatin1StringView(".mp2"),
        QLatin1StringView(".aac"), QLatin1StringView(".ac3"), QLatin1StringView(".aiff"), QLatin1StringView(".flac"),
        QLatin1StringView(".m4r"), QLatin1StringView(".ogg"), QLatin1StringView(".wma"),  QLatin1StringView(".mid"),
    };
    return std::any_of(extensions.begin(), extensions.end(),
                       [&path](QLatin1StringView extension) { return path.endsWith(extension, Qt::CaseInsensitive); });
}

QString clockText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const qint64 hours = (seconds / 3600) % 24;
    const qint64 minutes = (seconds / 60) % 60;
    return QString::asprintf("%d:%02d:%02d", int(hours), int(minutes), int(seconds % 60));
}

int percentOf(double position)
{
    return static_cast<int>(std::clamp(position, 0.0, 1.0) * 100.0);
}

qint64 seekTime(qint64 lengthMs, double percent)
{
    return static_cast<qint64>(static_cast<double>(std::max<qint64>(lengthMs, 0)) * percent / 100.0);
}

} // namespace PlayerRules
