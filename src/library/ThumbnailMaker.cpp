#include "library/ThumbnailMaker.h"

#include "base/AppPaths.h"
#include "library/FfmpegCommand.h"
#include "library/LibraryFormat.h"
#include "library/RegularFile.h"
#include "library/ScrollerList.h"
#include "tools/ToolRunner.h"

#include <QFile>
#include <QFileInfo>

namespace ThumbnailMaker {
namespace {

using AppPaths::Folder;

QString picture(Folder folder, const QString& base, const char* extension)
{
    return AppPaths::folder(folder) + base + QLatin1String(extension);
}

QStringList seekArguments(std::optional<int> seek)
{
    if (!seek)
        return {};
    return {QStringLiteral("-ss"), QString::number(*seek)};
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

} // namespace

std::optional<int> seekSeconds(const QString& base, const QString& durationText, bool audio)
{
    if (audio)
        return std::nullopt;
    bool numeric = false;
    const qint64 value = base.toLongLong(&numeric);
    if (!numeric || value < 1000)
        return 1;
    // "n/a" and other unreadable durations take the frame at second 0.
    const int seconds = LibraryFormat::durationSeconds(durationText);
    return seconds > 0 ? seconds / 4 : 0;
}

ToolCommand thumbnailCommand(const QString& path, const QString& base, std::optional<int> seek)
{
    ToolCommand command = ffmpegCommand(seekArguments(seek));
    command.arguments << QStringLiteral("-i") << path << QStringLiteral("-an") << QStringLiteral("-r")
                      << QStringLiteral("1") << QStringLiteral("-vframes") << QStringLiteral("1")
                      << QStringLiteral("-s") << QStringLiteral("160x90") << QStringLiteral("-y")
                      << picture(Folder::Thumbnails, base, ".jpg");
    return command;
}

ToolCommand stillFrameCommand(const QString& path, const QString& base, std::optional<int> seek, const QString& crop)
{
    ToolCommand command = ffmpegCommand(seekArguments(seek));
    command.arguments << QStringLiteral("-i") << path << QStringLiteral("-an") << QStringLiteral("-r")
                      << QStringLiteral("1") << QStringLiteral("-vframes") << QStringLiteral("1")
                      << QStringLiteral("-vf") << QStringLiteral("crop=") + crop << QStringLiteral("-y")
                      << picture(Folder::Screens, base, ".bmp");
    return command;
}

ToolCommand largeIconCommand(const QString& base)
{
    return ffmpegCommand({QStringLiteral("-i"), picture(Folder::Screens, base, ".bmp"), QStringLiteral("-s"),
                          QStringLiteral("32x32"), QStringLiteral("-y"), picture(Folder::Icons32, base, ".bmp")});
}

ToolCommand smallIconCommand(const QString& sourcePath, const QString& base)
{
    return ffmpegCommand({QStringLiteral("-i"), sourcePath, QStringLiteral("-s"), QStringLiteral("16x16"),
                          QStringLiteral("-y"), picture(Folder::Icons16, base, ".bmp")});
}

bool stillFrameNeedsRetry(const QString& output, const QString& picturePath)
{
    return output.contains(QLatin1String("Error opening filters!")) ||
           output.contains(QLatin1String("Error reinitializing filters!")) || !exists(picturePath);
}

bool makeThumbnailAndStill(const QString& path, const QString& base, const QString& durationText, bool audio)
{
    if (!RegularFile::isRegular(path))
        return false; // ffmpeg would wait for ever on a FIFO
    const std::optional<int> seek = seekSeconds(base, durationText, audio);
    // A picture left by an earlier file of the same base must not pass for this file's.
    const QString thumbnail = picture(Folder::Thumbnails, base, ".jpg");
    QFile::remove(thumbnail);
    ToolRunner::runTool(thumbnailCommand(path, base, seek));
    bool listed = false;
    if (exists(thumbnail))
        listed = ScrollerList::inDataFolder().addEntry(base, QFileInfo(path).fileName(), durationText);

    const QString still = picture(Folder::Screens, base, ".bmp");
    QFile::remove(still);
    const QString output = ToolRunner::runTool(stillFrameCommand(path, base, seek, QStringLiteral("in_h")));
    if (stillFrameNeedsRetry(output, still))
        ToolRunner::runTool(stillFrameCommand(path, base, seek, QStringLiteral("in_w")));
    return listed;
}

void makeIcons(const QString& base, const QString& iconSource)
{
    QFile::remove(picture(Folder::Icons16, base, ".bmp"));
    QFile::remove(picture(Folder::Icons32, base, ".bmp"));
    if (QFileInfo(iconSource).isFile())
        ToolRunner::runTool(smallIconCommand(iconSource, base));
    if (exists(picture(Folder::Screens, base, ".bmp")))
        ToolRunner::runTool(largeIconCommand(base));
}

} // namespace ThumbnailMaker
