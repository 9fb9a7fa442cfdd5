#include "support/MediaCheck.h"

#include <QProcess>
#include <QStringList>

namespace MediaCheck {

QString probe(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                   QStringLiteral("stream=codec_type,width:format=duration"), QStringLiteral("-of"),
                   QStringLiteral("default=nw=1"), file});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

double duration(const QString& file)
{
    for (const QString& line : probe(file).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("duration=")))
            return line.mid(9).toDouble();
    }
    return -1;
}

QString decodeErrors(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    process.waitForFinished(120000);
    return QString::fromUtf8(process.readAllStandardError()) +
           (process.exitCode() != 0 ? QStringLiteral("exit %1").arg(process.exitCode()) : QString());
}

} // namespace MediaCheck
