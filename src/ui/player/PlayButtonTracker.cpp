#include "ui/player/PlayButtonTracker.h"

#include "ui/player/PlayerRules.h"

namespace {

PlayButtonTracker::Position progressOf(const PlayButtonTracker::Reading& reading)
{
    return {PlayerRules::clockText(reading.timeMs), PlayerRules::clockText(reading.lengthMs),
            PlayerRules::percentOf(reading.position)};
}

// The end of the media: the replay button, the glow along the track and a full slider with
// no times beside it.
void markEnded(PlayButtonTracker::Update& update)
{
    update.button = PlayButton::Replay;
    update.endAnimation = true;
    update.position = PlayButtonTracker::Position{QString(), QString(), 100};
}

} // namespace

PlayButtonTracker::Update PlayButtonTracker::poll(const Reading& reading)
{
    Update update;
    switch (reading.state) {
    case PlayerState::Playing:
        if (m_button != PlayButton::Pause) {
            update.button = PlayButton::Pause;
            m_button = PlayButton::Pause;
        }
        update.position = progressOf(reading);
        break;
    case PlayerState::Paused:
    case PlayerState::Stopped:
    case PlayerState::Error: // an unplayable file offers the play button again
        if (m_button != PlayButton::Play) {
            update.button = PlayButton::Play;
            m_button = PlayButton::Play;
        }
        break;
    case PlayerState::Ended:
        if (m_button != PlayButton::Replay) {
            markEnded(update);
            update.redrawVideo = true;
            m_button = PlayButton::Replay;
        }
        break;
    default:
        break;
    }
    return update;
}

PlayButtonTracker::Update PlayButtonTracker::refresh(const Reading& reading)
{
    Update update;
    update.redrawVideo = true;
    update.position = progressOf(reading);
    switch (reading.state) {
    case PlayerState::Playing:
        update.button = PlayButton::Pause;
        break;
    case PlayerState::Paused:
    case PlayerState::Stopped:
        update.button = PlayButton::Play;
        break;
    case PlayerState::Ended:
        markEnded(update);
        break;
    default:
        break;
    }
    return update;
}
