#include "ui/mainwindow/CommandRouter.h"

#include "base/Texts.h"
#include "library/MediaTableModel.h"
#include "ui/mainwindow/LibraryActions.h"
#include "ui/mainwindow/PlayerController.h"
#include "ui/mainwindow/Prompts.h"

CommandRouter::CommandRouter(
    const MediaTableModel& model, LibraryActions& library, PlayerController& player, Prompts& prompts, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_library(library)
    , m_player(player)
    , m_prompts(prompts)
{}

CommandRouter::~CommandRouter() = default;

void CommandRouter::dispatch(ShellCommand command)
{
    m_lastCommand = command;
    const bool hasRows = m_model.rowCount() > 0;
    switch (command) {
    case ShellCommand::DownloadVideoByURL:
    case ShellCommand::RecordAudio:
        emit toolRequested(command);
        break;
    case ShellCommand::OpenBrowser:
        emit browserRequested();
        break;
    case ShellCommand::RecordVideo:
        // No screen recorder comes with the program and none can be configured: the command is
        // offered nowhere, and does nothing if it arrives.
        break;
    case ShellCommand::CutMediaFile:
    case ShellCommand::ConvertFromMenu:
        if (hasRows)
            emit toolRequested(command);
        break;
    case ShellCommand::MovieDelete:
        if (hasRows)
            m_library.deleteMedia();
        break;
    case ShellCommand::MovieRename:
        m_library.renameMedia();
        break;
    case ShellCommand::Import:
        emit importRequested();
        break;
    case ShellCommand::Export:
        if (hasRows)
            m_library.exportMedia();
        break;
    case ShellCommand::Burn:
        m_prompts.inform(tx(u"If your computer has a CD or DVD burner, you can Drag and Drop any "
                            u"downloaded/recorded files from Trawlix to a disc folder for burning."));
        break;
    case ShellCommand::View:
        emit viewToggleRequested();
        break;
    case ShellCommand::Settings:
        emit settingsRequested();
        break;
    case ShellCommand::FileInfo:
        if (hasRows)
            emit fileInfoRequested();
        break;
    case ShellCommand::Support:
        emit manualRequested(); // the installed manual, shown by the program: no web address
        break;
    case ShellCommand::Disable:
        emit monitoringRequested(false);
        break;
    case ShellCommand::Enable:
        emit monitoringRequested(true);
        break;
    case ShellCommand::PlayerPlay:
    case ShellCommand::ExternalPlayer:
    case ShellCommand::PlayerPause:
    case ShellCommand::PlayerReplay:
    case ShellCommand::PlayerStrop:
    case ShellCommand::MakeScreenShot:
    case ShellCommand::VolumeMute:
    case ShellCommand::VolumeMinus:
    case ShellCommand::VolumePlus:
    case ShellCommand::ClickInPlayer:
        m_player.command(command);
        break;
    }
}
