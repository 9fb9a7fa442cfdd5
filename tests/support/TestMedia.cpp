#include "support/TestMedia.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

bool TestMedia::make(const QString& outputPath, const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-y"), QStringLiteral("-hide_banner"),
                                                       QStringLiteral("-loglevel"), QStringLiteral("error")} +
                                               arguments + QStringList{outputPath});
    if (!ffmpeg.waitForFinished(60000))
        return false;
    return ffmpeg.exitCode() == 0 && QFileInfo(outputPath).size() > 0;
}

bool TestMedia::video(const QString& outputPath, double seconds)
{
    const QString length = QString::number(seconds);
    return make(outputPath,
                {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("testsrc=size=320x180:rate=25:duration=") + length, QStringLiteral("-f"),
                 QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("sine=frequency=440:duration=") + length, QStringLiteral("-pix_fmt"),
                 QStringLiteral("yuv420p"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                 QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-c:a"),
                 QStringLiteral("aac"), QStringLiteral("-shortest")});
}

bool TestMedia::toolsAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty();
}
