#include "library/LinkDownloadImporter.h"

#include "base/AppPaths.h"
#include "download/WebPage.h"
#include "library/FfmpegCommand.h"
#include "library/FileBusy.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"
#include "model/BaseNames.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace LinkDownloadImporter {

bool looksComplete(const QString& fileName, const QString& ffmpegOutput)
{
    const bool audio = ffmpegOutput.contains(QLatin1String("Audio: "));
    if (fileName.contains(QLatin1String(" - Only Audio")))
        return audio;
    return audio && ffmpegOutput.contains(QLatin1String("Video: "));
}

int pass(const LibraryContext& context)
{
    int imported = 0;
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const QString source = folder + name;
        const QString title = name.section(QLatin1Char('~'), 0, 0);
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix.contains(QLatin1String("part")) || FileBusy::isOpenForWriting(source))
            continue;
        const QString output = ToolRunner::runTool(ffmpegCommand({QStringLiteral("-i"), source}));
        if (!looksComplete(name, output))
            continue;

        const qint64 seconds = BaseNames::firstFree(context.videoFiles.snapshot(), context.now()).toLongLong();
        const QString target = LibraryTarget::freePath(seconds, QLatin1Char('.') + suffix);
        if (!QFile::rename(source, target))
            continue; // tried again on the next pass

        const QString page = context.linkPage ? context.linkPage() : QString();
        const QString host = WebPage::iconHost(page);
        if (!host.isEmpty() && !WebPage::iconPresent(host))
            WebPage::GetFavIcon(QStringLiteral("http://") + host + QStringLiteral("/favicon.ico"),
                                std::chrono::milliseconds(3000), host);
        TagStore::write(target, QStringLiteral("title"), title);
        TagStore::write(target, QStringLiteral("author"), page);
        // Without a page there is no site icon; the file keeps the default one of its kind.
        const QString icon = !host.isEmpty()
                                 ? host
                                 : (name.contains(QLatin1String(" - Only Audio")) ? QStringLiteral("DefaultAudio")
                                                                                  : QStringLiteral("DefaultVideo"));
        LibraryInserter::insert(context, target, icon);
        ++imported;
    }
    return imported;
}

} // namespace LinkDownloadImporter
