#pragma once

#include <QString>
#include <QtGlobal>

// The player's arithmetic and small decisions, free of libvlc and widgets.
namespace PlayerRules {

constexpr int NormalMaxVolume = 100;
constexpr int AmplifiedMaxVolume = 200;
constexpr int VolumeStep = 10;

// "VolumeMinus" and "VolumePlus": the new volume from the current one.
int volumeAfterMinus(int volume, bool amplifier);
int volumeAfterPlus(int volume, bool amplifier);

// The range a volume is kept in: 0-100, or 0-200 with the amplifier.
int clampVolume(int volume, bool amplifier);

// "PlayerPlay" after a preview: a player paused between 1001 and 1999 ms was stopped by the
// preview timer, so play starts the file again from the beginning.
bool restartsFromStart(qint64 timeMs);

// Only the exact stored text "true" keeps a video's own aspect ratio; anything else, a missing
// value too, stretches to 16:9.
bool stretchesTo16by9(const QString& storedAspect);

// Audio files show the audio picture behind the player (compared with the end of the path,
// ignoring case).
bool isAudioPath(const QString& path);

// "H:MM:SS" of whole seconds, hours modulo 24; an unknown (negative) time shows as 0.
QString clockText(qint64 ms);

// The integer percentage the play bar shows for a position 0..1.
int percentOf(double position);

// "MoveMySlider": the time to seek to for a slider percentage.
qint64 seekTime(qint64 lengthMs, double percent);

} // namespace PlayerRules
