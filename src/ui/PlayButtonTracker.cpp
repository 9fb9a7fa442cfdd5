#include "ui/PlayButtonTracker.h"

#include "ui/MovieRequest.h"
#include "ui/PlayerRules.h"

namespace {

QString progressOf(const PlayButtonTracker::Reading& reading)
{
    return MovieRequest::playPosition(PlayerRules::clockText(reading.timeMs), PlayerRules::clockText(reading.lengthMs),
                                      PlayerRules::percentOf(reading.position));
}

void appendEnded(QStringList& requests)
{
    requests << MovieRequest::playButton(QStringLiteral("three")) << MovieRequest::playEndAnimation()
             << MovieRequest::playPosition(QString(), QString(), 100);
}

} // namespace

PlayButtonTracker::Update PlayButtonTracker::poll(const Reading& reading)
{
    Update update;
    switch (reading.state) {
    case PlayerState::Playing:
        if (m_buttonState != QLatin1String("Pause")) {
            update.requests << MovieRequest::playButton(QStringLiteral("two"));
            m_buttonState = QStringLiteral("Pause");
        }
        update.requests << progressOf(reading);
        break;
    case PlayerState::Paused:
    case PlayerState::Stopped:
    case PlayerState::Error: // an unplayable file offers the play button again
        if (m_buttonState != QLatin1String("Play")) {
            update.requests << MovieRequest::playButton(QStringLiteral("one"));
            m_buttonState = QStringLiteral("Play");
        }
        break;
    case PlayerState::Ended:
        if (m_buttonState != QLatin1String("End")) {
            appendEnded(update.requests);
            update.redrawVideo = true;
            m_buttonState = QStringLiteral("End");
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
    update.requests << progressOf(reading);
    switch (reading.state) {
    case PlayerState::Playing:
        update.requests << MovieRequest::playButton(QStringLiteral("two"));
        break;
    case PlayerState::Paused:
    case PlayerState::Stopped:
        update.requests << MovieRequest::playButton(QStringLiteral("one"));
        break;
    case PlayerState::Ended:
        appendEnded(update.requests);
        break;
    default:
        break;
    }
    return update;
}
