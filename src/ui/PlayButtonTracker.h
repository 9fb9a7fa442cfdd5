#pragma once

#include "ui/MediaEngine.h"

#include <QString>
#include <QStringList>

// What the play bar is told as the player's state changes. The poller feeds it a reading
// every 250 ms; the bar hears about a button change only once, and about the position on
// every reading while playing.
class PlayButtonTracker final
{
public:
    struct Reading
    {
        PlayerState state = PlayerState::Nothing;
        qint64 timeMs = -1;
        qint64 lengthMs = -1;
        double position = 0.0;
    };

    struct Update
    {
        QStringList requests; // to the play bar, in order
        bool redrawVideo = false;
    };

    // One poll: the requests that the new reading calls for.
    Update poll(const Reading& reading);

    // The one-shot refresh after a stop: the position and the button matching the state,
    // whatever was shown before. It leaves the tracked button state alone.
    static Update refresh(const Reading& reading);

    // "Play", "Pause", "End", or empty before the first change.
    const QString& buttonState() const { return m_buttonState; }

private:
    QString m_buttonState;
};
