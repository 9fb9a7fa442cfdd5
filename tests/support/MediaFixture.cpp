#include "support/MediaFixture.h"

#include "support/TestProcess.h"

#include <QStandardPaths>

namespace MediaFixture {

bool ffmpegAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

QStringList patternAndTone(int seconds, const QString& size)
{
    const QString length = QString::number(seconds);
    return {QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size, length),
            QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), QStringLiteral("sine=duration=") + length};
}

QStringList h264EverySecond()
{
    return {QStringLiteral("-c:v"),        QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),     QStringLiteral("-g"),      QStringLiteral("25"),
            QStringLiteral("-keyint_min"), QStringLiteral("25"),      QStringLiteral("-sc_threshold"),
            QStringLiteral("0"),           QStringLiteral("-c:a"),    QStringLiteral("aac")};
}

bool makeClip(const QString& path, int seconds, bool withVideo)
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

bool makeVideoClip(const QString& path, int seconds, const QString& size)
{
    return make(path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=duration=%1:size=%2:rate=25").arg(seconds).arg(size),
                       QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                       QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("2")});
}

bool make(const QString& path, const QStringList& inputsAndOptions)
{
    const QStringList common{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                             QStringLiteral("-nostdin"), QStringLiteral("-y")};
    return TestProcess::run(QStringLiteral("ffmpeg"), common + inputsAndOptions + QStringList{path}).exitCode == 0;
}

QString probe(const QString& path)
{
    return QString::fromUtf8(
        TestProcess::run(QStringLiteral("ffprobe"),
                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                          QStringLiteral("stream=codec_type,width,height:format=duration"), QStringLiteral("-of"),
                          QStringLiteral("default=nw=1"), path},
                         30000)
            .out);
}

namespace {

double durationIn(const QString& probed)
{
    for (const QString& line : probed.split(QLatin1Char('\n'))) {
        bool number = false;
        const double seconds = line.mid(9).toDouble(&number);
        if (line.startsWith(QLatin1String("duration=")) && number)
            return seconds;
    }
    return -1;
}

} // namespace

double duration(const QString& path)
{
    return durationIn(probe(path));
}

QString decodeErrors(const QString& path)
{
    const TestProcess::Result run = TestProcess::run(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
         QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
        120000, QProcess::MergedChannels);
    if (!run.finished)
        return QStringLiteral("did not finish");
    return QString::fromUtf8(run.out) + (run.exitCode != 0 ? QStringLiteral("exit %1").arg(run.exitCode) : QString());
}

Inspection inspect(const QString& path)
{
    Inspection result;
    const QString probed = probe(path);
    result.duration = durationIn(probed);
    // A stream starts at its codec_type line; its width and height follow it.
    QStringList streams;
    for (const QString& line : probed.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("codec_type=")))
            streams << line.mid(11);
        else if (!streams.isEmpty() && line.startsWith(QLatin1String("width=")))
            streams.last() += QLatin1Char(' ') + line.mid(6);
        else if (!streams.isEmpty() && line.startsWith(QLatin1String("height=")))
            streams.last() += QLatin1Char('x') + line.mid(7);
    }
    for (const QString& stream : std::as_const(streams)) {
        const QByteArray shown =
            (stream.startsWith(QLatin1String("video")) ? stream : stream.section(u' ', 0, 0)).toUtf8() + '\n';
        // A transport stream lists its streams again under its program.
        if ((stream.startsWith(QLatin1String("video")) || stream.startsWith(QLatin1String("audio"))) &&
            !result.streams.contains(shown))
            result.streams += shown;
    }
    result.errors = decodeErrors(path).toUtf8();
    return result;
}

} // namespace MediaFixture
