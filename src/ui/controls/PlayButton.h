#pragma once

// What the player bar's main button does when pressed, and so which icon it shows.
enum class PlayButton
{
    Play,
    Pause,
    Replay, // the media has ended
};
