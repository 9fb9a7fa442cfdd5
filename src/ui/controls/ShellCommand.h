#pragma once

// The commands of the main window's controls: the menu rail's buttons, the player bar's
// buttons, a click in the video area and the traffic monitor's switch. The names are the
// controls' own function names. A seek on the player bar and a click on a thumbnail carry a
// value and have signals of their own.
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
};
