#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The main window's reading of a movie's request text: the command names are searched as
// substrings of the whole text in a fixed order and the first one found wins, so a longer
// name that contains a command ("MyImportTool") triggers that command.
enum class ShellCommand
{
    DownloadVideoByURL,
    OpenBrowser,
    RecordVideo,
    RecordAudio,
    CutMediaFile,
    ConvertFromMenu,
    MovieDelete,
    MovieRename,
    Import,
    Export,
    Burn,
    View,
    Settings,
    FileInfo,
    Support,
    MoveMySlider,
    PlayerPlay,
    ExternalPlayer,
    PlayerPause,
    PlayerReplay,
    PlayerStrop,
    MakeScreenShot,
    VolumeMute,
    VolumeMinus,
    VolumePlus,
    Disable,
    Enable,
    ClickInPlayer,
    PlayListClick,
    None,
};

namespace CommandDispatch {

// The names in search order.
const QStringList& searchOrder();

// The first name of the search order that the request contains; None when it holds none.
ShellCommand find(const QString& request);

QString nameOf(ShellCommand command);

// "MoveMySlider": the number between "BBBBB(" and ")EEEEE".
std::optional<double> sliderPercent(const QString& request);

// "PlayListClick_": with every "PlayListClick_" removed, the decimal number between the first
// two double quotes. A text that is not a whole number gives no index.
std::optional<int> playListIndex(const QString& request);

} // namespace CommandDispatch
