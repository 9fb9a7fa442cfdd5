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

namespace {

QByteArray runTool(const QString& program, const QStringList& arguments, bool merged)
{
    QProcess process;
    if (merged)
        process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return "did not finish";
    const QByteArray said = process.readAllStandardOutput();
    if (merged && process.exitCode() != 0)
        return said + "exit " + QByteArray::number(process.exitCode());
    return said;
}

} // namespace

MediaFixture::Inspection MediaFixture::inspect(const QString& path)
{
    Inspection result;
    const QByteArray info = runTool(QStringLiteral("ffprobe"),
                                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                     QStringLiteral("format=duration:stream=codec_type,width,height"),
                                     QStringLiteral("-of"), QStringLiteral("csv=p=0"), path},
                                    false);
    for (const QByteArray& line : info.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        bool number = false;
        const double seconds = fields[0].toDouble(&number);
        QByteArray stream;
        if (number)
            result.duration = seconds;
        else if (fields.size() >= 3 && fields[0] == "video")
            stream = "video " + fields[1] + 'x' + fields[2] + '\n';
        else if (fields[0] == "audio")
            stream = "audio\n";
        // A transport stream lists its streams again under its program.
        if (!stream.isEmpty() && !result.streams.contains(stream))
            result.streams += stream;
    }
    result.errors = runTool(QStringLiteral("ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                            true);
    return result;
}
