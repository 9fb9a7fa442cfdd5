#include "support/MediaFixture.h"

#include <QProcess>
#include <QStandardPaths>

bool MediaFixture::ffmpegAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

bool MediaFixture::makeClip(const QString& path, int seconds, bool withVideo)
{
    const QString duration = QString::number(seconds);
    QStringList arguments;
    if (withVideo)
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << QStringLiteral("testsrc=size=160x120:rate=25:duration=") + duration;
    arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
              << QStringLiteral("sine=frequency=440:duration=") + duration;
    if (withVideo)
        arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    return make(path, arguments);
}

bool MediaFixture::make(const QString& path, const QStringList& inputsAndOptions)
{
    const QStringList common{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                             QStringLiteral("-nostdin"), QStringLiteral("-y")};
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), common + inputsAndOptions + QStringList{path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}
