// The main window's handling of movie calls.
#include "ui/Page2.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "library/MediaTableModel.h"
#include "ui/MonitorMovie.h"
#include "ui/MovieRequest.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace {

// The page "Support" opens; the setting "supportpage" overrides it.
const char kSupportPage[] = "https://trawlix.org/support";

} // namespace

void Page2::dispatch(const QString& request)
{
    const ShellCommand command = CommandDispatch::find(request);
    m_lastCommand = command;
    const bool hasRows = m_model.rowCount() > 0;
    switch (command) {
    case ShellCommand::DownloadVideoByURL:
    case ShellCommand::RecordAudio:
        emit toolRequested(command);
        break;
    case ShellCommand::RecordVideo:
        // The screen recorder is an optional external program; none is configured by default.
        emit toolRequested(command);
        break;
    case ShellCommand::CutMediaFile:
    case ShellCommand::ConvertFromMenu:
        if (hasRows)
            emit toolRequested(command);
        break;
    case ShellCommand::MovieDelete:
        if (hasRows)
            deleteMedia();
        break;
    case ShellCommand::MovieRename:
        renameMedia();
        break;
    case ShellCommand::Import:
        emit importRequested();
        break;
    case ShellCommand::Export:
        if (hasRows)
            exportMedia();
        break;
    case ShellCommand::Burn:
        QMessageBox::information(this, Texts::displayName(),
                                 tx(u"If your computer has a CD or DVD burner, you can Drag and Drop any "
                                    u"downloaded/recorded files from Trawlix to a disc folder for burning."));
        break;
    case ShellCommand::View:
        toggleView();
        break;
    case ShellCommand::Settings:
        openSettings();
        break;
    case ShellCommand::FileInfo:
        if (hasRows)
            openFileInfo();
        break;
    case ShellCommand::Support: {
        QString page = Settings::instance().read(QStringLiteral("supportpage"));
        if (page.isEmpty())
            page = QString::fromLatin1(kSupportPage);
        QDesktopServices::openUrl(QUrl(page));
        break;
    }
    case ShellCommand::Disable:
        m_monitorMovie->call(MovieRequest::monitoringDisabled());
        setMonitoring(false);
        break;
    case ShellCommand::Enable:
        m_monitorMovie->call(MovieRequest::monitoringEnabled());
        setMonitoring(true);
        break;
    case ShellCommand::PlayListClick:
        if (const std::optional<int> index = CommandDispatch::playListIndex(request))
            playListClick(*index);
        break;
    case ShellCommand::MoveMySlider:
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
        playerCommand(command, request);
        break;
    case ShellCommand::None:
        break;
    }
}
