#pragma once

#include "ui/controls/PlayButton.h"
#include "ui/player/MediaBackend.h"

#include <QString>

#include <optional>

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

    // The texts either side of the bar's slider and the slider's percentage.
    struct Position
    {
        QString current;
        QString total;
        int percent = 0;
        bool operator==(const Position&) const = default;
    };

    // What the bar is told, applied in this order: the button, the end animation, the
    // position. Empty members leave the bar as it is.
    struct Update
    {
        std::optional<PlayButton> button;
        bool endAnimation = false;
        std::optional<Position> position;
        bool redrawVideo = false;
    };

    // One poll: what the new reading calls for.
    Update poll(const Reading& reading);

    // The one-shot refresh after a stop: the position and the button matching the state,
    // whatever was shown before. It leaves the tracked button alone.
    static Update refresh(const Reading& reading);

    // The button the bar was last told about by poll(); empty before the first change.
    std::optional<PlayButton> button() const { return m_button; }

private:
    std::optional<PlayButton> m_button;
};
