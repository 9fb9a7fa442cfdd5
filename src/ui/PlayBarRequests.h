#pragma once

#include <QString>

// The request texts the player sends to the play control bar, in the invoke form the bar
// understands (values inserted as they are).
namespace PlayBarRequests {

// "CallMeFromApplication": position, length, percent.
QString progress(const QString& position, const QString& length, int percent);
// "CallMeFromApplicationSetPlayButton" with "one" (play), "two" (pause) or "three" (ended).
QString playButton(const QString& which);
// "CallMeFromApplicationPlayEndAnimation" with "end".
QString endAnimation();
// "CallMeFromApplicationSetVolume" with a volume ("75%") or a mute text.
QString volume(const QString& text);

} // namespace PlayBarRequests
