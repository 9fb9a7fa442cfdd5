#include "app/Headless.h"

#include "app/CandidatePrinter.h"
#include "app/CommandLine.h"
#include "app/Engine.h"
#include "app/QuitOnSignal.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "download/HeadlessDownloadList.h"
#include "tools/ToolRunner.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Until the assembly is plugged in, a completed download is reported with its part files.
void reportCompletion(Engine& engine, HeadlessDownloadList& list, qsizetype index)
{
    const std::optional<VideoFile> record = engine.videoFiles().at(index);
    if (!record)
        return;
    const QString temp = engine.downloadWorkers().tempFolder();
    QStringList parts;
    for (const QString& suffix : {u"_"_qs, u"_1"_qs, u"_2"_qs, u"_3"_qs, u"_4"_qs}) {
        if (QFileInfo::exists(temp + record->baseName + suffix))
            parts << u"Temp/"_qs + record->baseName + suffix;
    }
    list.print(u"download %1: complete, %2 bytes in %3"_qs.arg(index).arg(record->receivedBytes).arg(parts.join(u' ')));
    engine.downloadRows().remove(index);
}

} // namespace

int runHeadless(Engine& engine, const CommandLine& commandLine)
{
    StartUp startUp(commandLine);
    if (startUp.run() == StartUp::Result::SecondInstance)
        return 0;
    if (commandLine.list)
        return 0;
    // Downloads print their rows and progress; the probe takes every new candidate.
    HeadlessDownloadList downloadList;
    engine.setDownloadList(&downloadList);
    if (!engine.downloadWorkers().hasAssemblyHook())
        engine.setAssemblyHook([&engine, &downloadList](qsizetype index) { reportCompletion(engine, downloadList, index); });
    engine.startProbe();

    const QuitOnSignal quitOnSignal;
    // Capture from the file, or live from the adapter named on the command line or in the
    // settings (every adapter when neither names one); one line per new candidate.
    const bool fromFile = !commandLine.pcapFile.isEmpty();
    const CandidatePrinter printer(engine, stdout, fromFile);
    QString adapter = commandLine.interfaceName;
    if (adapter.isEmpty() && !fromFile)
        adapter = Settings::instance().interfaceName();
    engine.startCapture({commandLine.pcapFile, fromFile ? QString() : adapter});
    const int code = QCoreApplication::exec();
    engine.stopCapture();
    engine.stopProbe();
    engine.setDownloadList(nullptr);
    ToolRunner::killAllTools();
    return code;
}
