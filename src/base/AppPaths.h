#pragma once

#include <QString>

// The data folder and the working folders under it. The data folder plays the part of the
// program folder: it holds the library, the scratch folders, "videos.xml", "profiles.xml" and
// "MetaFile.txt", and it is the current directory for the whole run.
namespace AppPaths {

enum class Folder
{
    Videos,
    Temp,
    TempRecords,
    TempDownloads,
    TempExport,
    FavIcons,
    Screens,
    Icons32,
    Icons16,
    Thumbnails,
};

// Chooses the data folder: an explicit folder (--data-dir) wins over TRAWLIX_HOME, which wins
// over $XDG_DATA_HOME/Trawlix. Returns the absolute path without a trailing slash.
QString chooseDataDir(const QString& explicitDir);

// Sets the data folder for the process (creates it when missing). Tests call this with a
// temporary folder. Does not change the current directory.
void setDataDir(const QString& dir);

// The data folder, ending in "/".
QString dataDir();

// True once setDataDir() has run (code that also works without a data folder asks first).
bool hasDataDir();

// The folder's name as it appears in paths ("Videos", "32x32", ...).
QString folderName(Folder folder);

// Absolute path of a working folder, ending in "/".
QString folder(Folder folder);

// Absolute path of a file directly in the data folder ("videos.xml", "MetaFile.txt").
QString file(const QString& name);

// The settings file: $XDG_CONFIG_HOME/Trawlix/Trawlix.conf (default ~/.config).
QString settingsPath();

// The Documents folder + "/Trawlix/".
QString documentsDir();

} // namespace AppPaths
