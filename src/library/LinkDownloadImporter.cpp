#include "library/LinkDownloadImporter.h"

#include "base/AppPaths.h"
#include "download/WebPage.h"
#include "library/FfmpegCommand.h"
#include "library/FileBusy.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"
#include "model/BaseNames.h"
#include "tools/LinkDownloadJob.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace LinkDownloadImporter {

namespace {

bool isAudioOnly(const QString& fileName)
{
    return titleOf(fileName).endsWith(QLatin1String(" - Only Audio"));
}

} // namespace

QString titleOf(const QString& fileName)
{
    // The "~" the downloader puts after the title is the last one: a title may hold its own.
    const qsizetype tilde = fileName.lastIndexOf(QLatin1Char('~'));
    return tilde < 0 ? fileName.section(QLatin1Char('.'), 0, -2) : fileName.left(tilde);
}

bool looksComplete(const QString& fileName, const QString& ffmpegOutput)
{
    const bool audio = ffmpegOutput.contains(QLatin1String("Audio: "));
    if (isAudioOnly(fileName))
        return audio;
    return audio && ffmpegOutput.contains(QLatin1String("Video: "));
}

int pass(const LibraryContext& context)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    return importNames(context, QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name));
}

int importNames(const LibraryContext& context, const QStringList& names, QStringList* rejected)
{
    int imported = 0;
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    for (const QString& name : names) {
        const QString source = folder + name;
        if (name.contains(QLatin1Char('/')) || !QFileInfo(source).isFile())
            continue;
        const QString title = titleOf(name);
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix.contains(QLatin1String("part")) || FileBusy::isOpenForWriting(source))
            continue;
        const ToolRunner::ToolResult probe = ToolRunner::runToolResult(ffmpegCommand({QStringLiteral("-i"), source}));
        if (!looksComplete(name, probe.output)) {
            // Only ffmpeg's own report rejects a file: one that did not run tells nothing.
            if (rejected && probe.code == ToolRunner::ToolResult::Code::Finished)
                rejected->append(name);
            continue;
        }

        // The move never replaces a library file, also one that took the base meanwhile.
        const qint64 seconds = BaseNames::firstFree(context.videoFiles.snapshot(), context.now()).toLongLong();
        const QString target = LibraryTarget::moveIn(source, seconds, QLatin1Char('.') + suffix);
        if (target.isEmpty())
            continue; // tried again on the next pass

        // The job that wrote the file knows its page; files of no job of this run take the
        // page of the current job.
        QString page = LinkDownloadJob::pageOfFile(name);
        if (page.isEmpty() && context.linkPage)
            page = context.linkPage();
        const QString host = WebPage::iconHost(page);
        if (!host.isEmpty() && !WebPage::iconPresent(host))
            WebPage::GetFavIcon(QStringLiteral("http://") + host + QStringLiteral("/favicon.ico"),
                                std::chrono::milliseconds(3000), host);
        TagStore::write(target, QStringLiteral("title"), title);
        TagStore::write(target, QStringLiteral("author"), page);
        // Without a page there is no site icon; the file keeps the default one of its kind.
        const QString icon =
            !host.isEmpty() ? host
                            : (isAudioOnly(name) ? QStringLiteral("DefaultAudio") : QStringLiteral("DefaultVideo"));
        LibraryInserter::insert(context, target, icon);
        ++imported;
    }
    return imported;
}

} // namespace LinkDownloadImporter
