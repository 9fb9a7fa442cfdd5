#include "ui/mainwindow/CommandRouter.h"

#include "base/Texts.h"
#include "library/MediaTableModel.h"
#include "ui/controls/TrafficMonitor.h"
#include "ui/mainwindow/LibraryActions.h"
#include "ui/mainwindow/Page2.h"
#include "ui/mainwindow/PlayerController.h"
#include "ui/tools/ManualWindow.h"

#include <QMessageBox>

CommandRouter::CommandRouter(Page2& window, LibraryActions& library, PlayerController& player)
    : m_window(window)
    , m_library(library)
    , m_player(player)
{}

void CommandRouter::dispatch(ShellCommand command)
{
    m_lastCommand = command;
    const bool hasRows = m_window.model().rowCount() > 0;
    switch (command) {
    case ShellCommand::DownloadVideoByURL:
    case ShellCommand::RecordAudio:
        emit m_window.toolRequested(command);
        break;
    case ShellCommand::OpenBrowser:
        m_window.openBrowserForCapture();
        break;
    case ShellCommand::RecordVideo:
        // No screen recorder comes with the program and none can be configured: the command is
        // offered nowhere, and does nothing if it arrives.
        break;
    case ShellCommand::CutMediaFile:
    case ShellCommand::ConvertFromMenu:
        if (hasRows)
            emit m_window.toolRequested(command);
        break;
    case ShellCommand::MovieDelete:
        if (hasRows)
            m_library.deleteMedia();
        break;
    case ShellCommand::MovieRename:
        m_library.renameMedia();
        break;
    case ShellCommand::Import:
        emit m_window.importRequested();
        break;
    case ShellCommand::Export:
        if (hasRows)
            m_library.exportMedia();
        break;
    case ShellCommand::Burn:
        QMessageBox::information(&m_window, Texts::displayName(),
                                 tx(u"If your computer has a CD or DVD burner, you can Drag and Drop any "
                                    u"downloaded/recorded files from Trawlix to a disc folder for burning."));
        break;
    case ShellCommand::View:
        m_window.toggleView();
        break;
    case ShellCommand::Settings:
        m_window.openSettings();
        break;
    case ShellCommand::FileInfo:
        if (hasRows)
            m_window.openFileInfo();
        break;
    case ShellCommand::Support:
        ManualWindow::open(&m_window); // the installed manual, shown here: no web address
        break;
    case ShellCommand::Disable:
        m_window.trafficMonitor()->setMonitoring(false);
        m_window.setMonitoring(false);
        break;
    case ShellCommand::Enable:
        m_window.trafficMonitor()->setMonitoring(true);
        m_window.setMonitoring(true);
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
