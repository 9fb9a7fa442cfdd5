// The main window's video area and the player commands.
#include "ui/Page2.h"

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "library/MediaTableModel.h"
#include "tools/ToolRunner.h"
#include "ui/MovieRequest.h"
#include "ui/PlayControlMovie.h"
#include "ui/Player.h"
#include "ui/PlayerRules.h"
#include "ui/SlideshowList.h"
#include "ui/VideoArea.h"

#include <QApplication>
#include <QMouseEvent>

void Page2::buildVideoArea()
{
    auto* area = new VideoArea(this);
    area->setObjectName(QStringLiteral("videoArea"));
    area->installEventFilter(this);
    m_videoArea = area;
    QStringList extra;
    // Tests and headless runs have no window system to draw into.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        extra << QStringLiteral("--vout=dummy") << QStringLiteral("--aout=dummy");
    m_player = new Player(area, extra, this);
}

void Page2::connectPlayer()
{
    connect(m_player, &Player::playBarRequest, m_playControl, &Movie::call);
}

void Page2::applyStoredVolume()
{
    const int volume = PlayerRules::clampVolume(Settings::instance().volume(), Settings::instance().amplifier());
    m_player->setVolume(volume);
    // The bar shows the volume from the start, not only after the first change.
    m_playControl->call(MovieRequest::volume(volume));
}

void Page2::windowActivated()
{
    // The screen recorder hands control back when the main window becomes active.
    ToolRunner::killToolsNamed(QStringLiteral("Recorder"));
    m_player->windowActivated();
}

void Page2::previewRow(int row)
{
    const QString path = pathOfRow(row);
    if (!path.isEmpty())
        m_player->preview(path);
}

void Page2::playRow(int row)
{
    const QString path = pathOfRow(row);
    if (!path.isEmpty())
        m_player->playWithSound(path);
}

void Page2::playPath(const QString& path)
{
    m_player->playWithSound(path);
}

void Page2::playerCommand(ShellCommand command, const QString& request)
{
    const QString selectedPath = pathOfRow(selectedRow());
    switch (command) {
    case ShellCommand::MoveMySlider:
        if (const std::optional<double> percent = CommandDispatch::sliderPercent(request))
            m_player->seekToPercent(*percent);
        break;
    case ShellCommand::PlayerPlay:
        m_player->play();
        break;
    case ShellCommand::ExternalPlayer:
        if (!selectedPath.isEmpty())
            m_player->openInExternalPlayer(selectedPath);
        break;
    case ShellCommand::PlayerPause:
        m_player->pause();
        break;
    case ShellCommand::PlayerReplay:
        if (!selectedPath.isEmpty())
            m_player->playWithSound(selectedPath);
        break;
    case ShellCommand::PlayerStrop:
        m_player->stop();
        break;
    case ShellCommand::MakeScreenShot:
        if (!m_player->makeScreenShot())
            QApplication::beep();
        break;
    case ShellCommand::VolumeMute:
        m_player->toggleMute();
        break;
    case ShellCommand::VolumeMinus:
        m_player->volumeDown();
        break;
    case ShellCommand::VolumePlus:
        m_player->volumeUp();
        break;
    case ShellCommand::ClickInPlayer:
        m_player->clickInPlayer(selectedPath);
        break;
    default:
        break;
    }
}

void Page2::playListClick(int photoIndex)
{
    const QList<SlideshowEntry> entries = SlideshowList::read(AppPaths::file(QStringLiteral("videos.xml")));
    if (photoIndex < 0 || photoIndex >= entries.size())
        return; // beyond the last photo: nothing
    const QString video = entries.at(photoIndex).video;
    if (video.isEmpty())
        return;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.rowAt(row).path.contains(video)) {
            selectRow(row);
            playRow(row);
            return;
        }
    }
    playPath(AppPaths::folder(AppPaths::Folder::Videos) + video);
}
