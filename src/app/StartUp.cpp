#include "app/StartUp.h"

#include "app/SingleInstance.h"
#include "base/AppPaths.h"
#include "base/OpenFileScan.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "library/ExportCopies.h"
#include "library/LinkDownloadImporter.h"
#include "library/ScrollerList.h"
#include "library/TagStore.h"
#include "tools/ConversionProfiles.h"
#include "tools/ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Every entry of a folder that is not a directory (a link to a directory is removed as a link).
QFileInfoList filesIn(const QString& folder)
{
    QFileInfoList files;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!entry.isDir() || entry.isSymLink())
            files << entry;
    }
    return files;
}

void removeAll(const QString& folder)
{
    for (const QFileInfo& file : filesIn(folder))
        QFile::remove(file.absoluteFilePath());
}

} // namespace

StartUp::StartUp(CommandLine commandLine, const LibraryContext& library)
    : m_commandLine(std::move(commandLine))
    , m_library(library)
{}

StartUp::~StartUp()
{
    if (m_settings)
        Settings::setInstance(nullptr);
}

StartUp::Result StartUp::run()
{
    Texts::init(QStringLiteral("EN"));

    AppPaths::setDataDir(AppPaths::chooseDataDir(m_commandLine.dataDir));
    const QString dataDir = AppPaths::dataDir();
    if (!QDir::setCurrent(dataDir))
        trace(QStringLiteral("StartUp: cannot enter the data folder ") + dataDir);

    ScrollerList::inDataFolder().createIfMissing();
    createWorkingFolders();

    m_settings = std::make_unique<Settings>(AppPaths::settingsPath());
    m_firstStart = !m_settings->exists();
    m_settings->seedDefaultsIfMissing();
    Settings::setInstance(m_settings.get());

    // Printing the library reads only, and a download by link enters the library the way a
    // second program may (its base names are reserved on disk): both run beside a running
    // instance, which they neither bring forward nor disturb with the clean-up below.
    const bool readOnly = (m_commandLine.headless && m_commandLine.list) || !m_commandLine.downloadLink.isEmpty();
    m_singleInstance = std::make_unique<SingleInstance>(dataDir);
    if (!m_singleInstance->claim(readOnly ? SingleInstance::Later::StayQuiet : SingleInstance::Later::AskToShow)) {
        m_singleInstance.reset();
        return readOnly ? Result::Beside : Result::SecondInstance;
    }

    cleanTemp();
    emptyScratchFolders();
    ExportCopies::clean();
    removeStaleScratchFiles();
    takeInLinkDownloads(m_library);
    deleteMarkedLibraryFiles();
    return Result::Ready;
}

void StartUp::createWorkingFolders()
{
    using AppPaths::Folder;
    // "TempDownloads" is left to the link downloader, which makes it when it needs it.
    for (Folder folder : {Folder::Icons16, Folder::Icons32, Folder::FavIcons, Folder::Screens, Folder::Videos,
                          Folder::Temp, Folder::TempExport, Folder::TempRecords, Folder::Thumbnails}) {
        QDir().mkdir(AppPaths::folder(folder));
    }
}

void StartUp::cleanTemp()
{
    const QFileInfoList files = filesIn(AppPaths::folder(AppPaths::Folder::Temp));
    if (files.isEmpty())
        return;
    const OpenFileScan openFiles;
    for (const QFileInfo& file : files) {
        if (!openFiles.isOpen(file.absoluteFilePath()))
            QFile::remove(file.absoluteFilePath());
    }
}

void StartUp::emptyScratchFolders()
{
    using AppPaths::Folder;
    // "TempRecords/" is left to the recordings importer: a recording the last run did not
    // import yet (the program ended first) is imported now instead of lost.
    removeAll(AppPaths::folder(Folder::Screens));
}

void StartUp::removeStaleScratchFiles()
{
    // Where the converter and the cutter write by default, and the data folder. What a running
    // `--convert` or `--cut` writes is locked by it and stays.
    QStringList folders{AppPaths::dataDir(), AppPaths::folder(AppPaths::Folder::Videos), AppPaths::documentsDir(),
                        ProfileStore::outputFolder(ProfileStore::load(ProfileStore::defaultPath()).set)};
    folders.removeDuplicates();
    int removed = 0;
    for (const QString& folder : std::as_const(folders))
        removed += ScratchFile::removeStale(folder);
    if (removed > 0)
        trace(QStringLiteral("StartUp: %1 scratch files of an ended run removed").arg(removed));
}

bool StartUp::isUnfinishedLinkDownload(const QString& fileName)
{
    if (fileName.startsWith(QLatin1Char('.')))
        return true;
    // yt-dlp marks its work by an extension before or instead of the final one:
    // "x.mp4.part", "x.mp4.part-Frag3", "x.mp4.ytdl", "x.temp.mp4". The title before the job
    // mark's "~" may hold such words of its own.
    const qsizetype tilde = fileName.lastIndexOf(QLatin1Char('~'));
    const QStringList extensions = fileName.mid(tilde + 1).split(QLatin1Char('.')).mid(1);
    return std::any_of(extensions.cbegin(), extensions.cend(), [](const QString& extension) {
        return extension.compare(QLatin1String("part"), Qt::CaseInsensitive) == 0 ||
               extension.startsWith(QLatin1String("part-frag"), Qt::CaseInsensitive) ||
               extension.compare(QLatin1String("ytdl"), Qt::CaseInsensitive) == 0 ||
               extension.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0;
    });
}

void StartUp::takeInLinkDownloads(const LibraryContext& library)
{
    // A download the last run finished but did not import (the program ended first) is
    // imported now instead of lost; what was still being fetched cannot be resumed.
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList finished;
    for (const QFileInfo& entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (entry.isSymLink() || (!entry.isDir() && !entry.isFile())) {
            QFile::remove(path); // no download of ours: a link is removed as a link
        } else if (isUnfinishedLinkDownload(entry.fileName())) {
            if (entry.isDir())
                QDir(path).removeRecursively();
            else
                QFile::remove(path);
        } else if (entry.isFile()) {
            finished << entry.fileName();
        }
    }
    if (finished.isEmpty())
        return;
    // What could not be imported stays (the importer's trace says why): it may be the only copy.
    QStringList rejected;
    const int imported = LinkDownloadImporter::importNames(library, finished, &rejected);
    trace(QStringLiteral("StartUp: %1 link downloads imported, %2 without media streams left in place")
              .arg(imported)
              .arg(rejected.size()));
}

void StartUp::deleteMarkedLibraryFiles()
{
    for (const QFileInfo& file : filesIn(AppPaths::folder(AppPaths::Folder::Videos))) {
        const QString path = file.absoluteFilePath();
        if (!TagStore::isMarkedForDeletion(path))
            continue;
        // The sidecar knows the file by its canonical path, which is gone once the file is.
        const QString canonical = file.canonicalFilePath();
        if (QFile::remove(path))
            TagStore::forget(canonical);
    }
}
