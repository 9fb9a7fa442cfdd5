#include "engine/CandidatePrinter.h"

#include "base/Trace.h"
#include "base/UntrustedText.h"
#include "engine/Engine.h"

#include <QCoreApplication>

CandidatePrinter::CandidatePrinter(Engine& engine, std::FILE* out, bool quitAtEndOfFile, QObject* parent)
    : QObject(parent)
    , m_out(out)
    , m_quitAtEndOfFile(quitAtEndOfFile)
{
    // Queued: the engine emits on the capture thread; printing happens on this one, in order.
    qRegisterMetaType<VideoFile>();
    connect(&engine, &Engine::candidateDetected, this, &CandidatePrinter::print, Qt::QueuedConnection);
    connect(&engine, &Engine::captureEnded, this, &CandidatePrinter::captureEnded, Qt::QueuedConnection);
}

QString CandidatePrinter::line(const VideoFile& record)
{
    // Each field escaped on its own: the address and the title come from the network, and a tab
    // inside one must not pass for a separator.
    QStringList fields{stateName(record.state), record.baseName, record.url, record.extension, record.title};
    if (record.stream != VideoFile::Stream::None)
        fields << streamName(record.stream);
    for (QString& field : fields)
        field = UntrustedText::forTerminal(field);
    return fields.join(QLatin1Char('\t'));
}

void CandidatePrinter::print(qsizetype index, const VideoFile& record)
{
    Q_UNUSED(index);
    // The record as it was detected: by now the probe may have taken it further.
    std::fprintf(m_out, "%s\n", line(record).toUtf8().constData());
    std::fflush(m_out);
}

void CandidatePrinter::captureEnded(PacketCapture::Outcome outcome)
{
    using Outcome = PacketCapture::Outcome;
    switch (outcome) {
    case Outcome::EndOfFile:
        if (m_quitAtEndOfFile)
            QCoreApplication::exit(0);
        return;
    case Outcome::FileUnreadable:
        std::fprintf(stderr, "trawlix: the capture file cannot be read\n");
        QCoreApplication::exit(1);
        return;
    case Outcome::NoDevices:
    case Outcome::NoAdapterOpened:
    case Outcome::ReadError:
        // As in the desktop program the run goes on without capture; the reason is only told.
        std::fprintf(stderr, "trawlix: capture ended (%s)\n",
                     outcome == Outcome::ReadError ? "read error" : "no network adapter could be opened");
        trace(QStringLiteral("Func: capture, headless run goes on without capture"));
        return;
    case Outcome::Running:
    case Outcome::Stopped:
        return;
    }
}
