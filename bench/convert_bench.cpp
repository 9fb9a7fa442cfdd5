// The overhead of the conversion job: a generated 1080p clip (60 s unless given) converted with
// the MP4 profile through ConvertJob (source probe, progress reading, scratch file and rename),
// against plain ffmpeg started with the very same arguments. Prints both wall times and their
// ratio.
#include "base/AppPaths.h"
#include "tools/ConversionProfiles.h"
#include "tools/ConvertJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"), arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", process.readAll().right(500).constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 60;
    QTemporaryDir dir;
    AppPaths::setDataDir(dir.filePath(QStringLiteral("data")));
    const QString source = dir.filePath(QStringLiteral("source.mkv"));
    std::printf("generating a %d s 1920x1080 source...\n", seconds);
    if (!ffmpeg({QStringLiteral("-nostdin"),
                 QStringLiteral("-loglevel"),
                 QStringLiteral("error"),
                 QStringLiteral("-f"),
                 QStringLiteral("lavfi"),
                 QStringLiteral("-i"),
                 QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1").arg(seconds),
                 QStringLiteral("-f"),
                 QStringLiteral("lavfi"),
                 QStringLiteral("-i"),
                 QStringLiteral("sine=duration=%1").arg(seconds),
                 QStringLiteral("-pix_fmt"),
                 QStringLiteral("yuv420p"),
                 QStringLiteral("-c:v"),
                 QStringLiteral("libx264"),
                 QStringLiteral("-preset"),
                 QStringLiteral("ultrafast"),
                 QStringLiteral("-c:a"),
                 QStringLiteral("flac"),
                 QStringLiteral("-y"),
                 source}))
        return 1;

    const ProfileSet set = ProfileStore::shippedSet();
    const int profile = set.indexOfPath(QStringLiteral("video_formats/mp4"));
    const ConvertJob::Settings settings = ConvertJob::defaults(set, profile);
    const QString jobOutput = dir.filePath(QStringLiteral("job.mp4"));

    QElapsedTimer timer;
    timer.start();
    ConvertJob job;
    job.start({{source, jobOutput, 0}}, settings);
    const QList<ConvertJob::FileResult> results = job.wait();
    const qint64 jobMs = timer.elapsed();
    if (results.isEmpty() || results.first().code != ConvertJob::FileResult::Code::Converted) {
        std::fprintf(stderr, "the job failed: %s\n",
                     results.isEmpty() ? "no result" : qPrintable(results.first().error));
        return 1;
    }

    ConvertRequest request =
        ConvertJob::request({source, dir.filePath(QStringLiteral("plain.mp4")), 0}, settings, true, 25);
    const ToolCommand command = ConvertCommand::build(request);
    timer.restart();
    if (!ffmpeg(command.arguments))
        return 1;
    const qint64 plainMs = timer.elapsed();

    std::printf("command: %s\n", qPrintable(command.displayText()));
    std::printf("job:   %8.2f s\nplain: %8.2f s\nratio job/plain: %.3f\n", jobMs / 1000.0, plainMs / 1000.0,
                plainMs > 0 ? double(jobMs) / double(plainMs) : 0.0);
    return 0;
}
