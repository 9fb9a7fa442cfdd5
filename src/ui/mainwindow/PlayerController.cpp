#include "ui/mainwindow/PlayerController.h"

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "library/MediaTableModel.h"
#include "library/ScrollerList.h"
#include "tools/ToolRunner.h"
#include "ui/mainwindow/MediaSelection.h"
#include "ui/mainwindow/Prompts.h"
#include "ui/player/Player.h"
#include "ui/player/PlayerRules.h"

PlayerController::PlayerController(const MediaTableModel& model,
                                   MediaSelection& selection,
                                   Prompts& prompts,
                                   Player& player)
    : m_model(model)
    , m_selection(selection)
    , m_prompts(prompts)
    , m_player(player)
{}

void PlayerController::applyStoredVolume()
{
    const int volume = PlayerRules::clampVolume(Settings::instance().volume(), Settings::instance().amplifier());
    // The bar shows the volume from the start, not only after the first change.
    m_player.setVolume(volume);
}

void PlayerController::windowActivated()
{
    // The screen recorder hands control back when the main window becomes active.
    ToolRunner::killToolsNamed(QStringLiteral("Recorder"));
    m_player.windowActivated();
}

void PlayerController::previewRow(int row)
{
    const QString path = m_selection.pathOfRow(row);
    if (!path.isEmpty())
        m_player.preview(path);
}

void PlayerController::playRow(int row)
{
    const QString path = m_selection.pathOfRow(row);
    if (!path.isEmpty())
        m_player.playWithSound(path);
}

void PlayerController::seek(double percent)
{
    m_player.seekToPercent(percent);
}

void PlayerController::command(ShellCommand command)
{
    const QString selectedPath = m_selection.pathOfRow(m_selection.selectedRow());
    switch (command) {
    case ShellCommand::PlayerPlay:
        m_player.play();
        break;
    case ShellCommand::ExternalPlayer:
        if (!selectedPath.isEmpty())
            m_player.openInExternalPlayer(selectedPath);
        break;
    case ShellCommand::PlayerPause:
        m_player.pause();
        break;
    case ShellCommand::PlayerReplay:
        if (!selectedPath.isEmpty())
            m_player.playWithSound(selectedPath);
        break;
    case ShellCommand::PlayerStrop:
        m_player.stop();
        break;
    case ShellCommand::MakeScreenShot: {
        // The player beeps when there is no picture to take.
        const QString picture = m_player.makeScreenShot();
        if (!picture.isEmpty())
            m_prompts.showSaved(picture);
        break;
    }
    case ShellCommand::VolumeMute:
        m_player.toggleMute();
        break;
    case ShellCommand::VolumeMinus:
        m_player.volumeDown();
        break;
    case ShellCommand::VolumePlus:
        m_player.volumeUp();
        break;
    case ShellCommand::ClickInPlayer:
        m_player.clickInPlayer(selectedPath);
        break;
    default:
        break;
    }
}

void PlayerController::playListClick(int photoIndex)
{
    const QList<ScrollerList::Entry> entries = ScrollerList::inDataFolder().entries();
    if (photoIndex < 0 || photoIndex >= entries.size())
        return; // beyond the last photo: nothing
    const QString video = entries.at(photoIndex).video;
    if (video.isEmpty())
        return;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.rowAt(row).path.contains(video)) {
            m_selection.selectRow(row);
            playRow(row);
            return;
        }
    }
    m_player.playWithSound(AppPaths::folder(AppPaths::Folder::Videos) + video);
}
