#include "download/StreamMux.h"

#include "base/Trace.h"
#include "tools/ToolCommand.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace {

// How long ffmpeg may take to end after it was asked to: its output is thrown away anyway.
constexpr int kGraceMs = 1000;
constexpr auto kStopPoll = std::chrono::milliseconds(100);

} // namespace

StreamMux::StreamMux(QString folder, QList<QStringList> inputs, QString extension)
    : m_folder(std::move(folder))
    , m_inputs(std::move(inputs))
    , m_extension(std::move(extension))
    , m_output(m_folder + QStringLiteral("/muxed") + m_extension)
{}

StreamMux::~StreamMux()
{
    if (!m_started || m_joined)
        return;
    abandon();
    joinAll();
    QFile::remove(m_output);
}

QString StreamMux::containerFor(const StreamPlan& plan)
{
    QStringList codecs = plan.variant.codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (plan.audio)
        codecs += plan.audio->codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const TrackPlan& track : plan.tracks)
        codecs += track.codecs.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& codec : codecs) {
        const QString name = codec.trimmed().section(QLatin1Char('.'), 0, 0).toLower();
        if (name == QLatin1String("vp8") || name == QLatin1String("vorbis") || name == QLatin1String("theora") ||
            name == QLatin1String("wvtt"))
            return QStringLiteral(".mkv");
    }
    return QStringLiteral(".mp4");
}

QStringList StreamMux::muxArguments(const QStringList& trackFiles)
{
    QStringList arguments;
    for (qsizetype i = 1; i < trackFiles.size(); ++i)
        arguments << QStringLiteral("-i") << trackFiles.at(i);
    if (trackFiles.size() >= 2)
        arguments << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a");
    else
        arguments << QStringLiteral("-map") << QStringLiteral("0");
    arguments << QStringLiteral("-c") << QStringLiteral("copy");
    return arguments;
}

QString StreamMux::fifoPath(int track) const
{
    return m_fifoFolder + QStringLiteral("/input%1.fifo").arg(track);
}

bool StreamMux::makeFifosIn(const QString& folder)
{
    m_fifoFolder = folder;
    for (int t = 0; t < m_inputs.size(); ++t) {
        // One a killed run left behind goes first: only a FIFO made now is this mux's.
        const QByteArray fifo = QFile::encodeName(fifoPath(t));
        ::unlink(fifo.constData());
        if (::mkfifo(fifo.constData(), 0600) != 0) {
            trace(QStringLiteral("Stream mux: no FIFO in ") + folder);
            for (int made = 0; made < t; ++made)
                ::unlink(QFile::encodeName(fifoPath(made)).constData());
            return false;
        }
    }
    return true;
}

bool StreamMux::start()
{
    if (m_started || m_inputs.isEmpty())
        return false;
    // The FIFOs go beside the segments; where that file system has none (vfat, exFAT, some
    // network shares) they go into a private folder of the system's temporary one.
    if (!makeFifosIn(m_folder)) {
        m_privateFolder.emplace(QDir::tempPath() + QStringLiteral("/trawlix-mux-XXXXXX"));
        if (!m_privateFolder->isValid() || !makeFifosIn(m_privateFolder->path()))
            return false;
    }
    m_started = true;
    m_fed.assign(size_t(m_inputs.size()), StreamFeed::Outcome::Cancelled);
    m_toolThread = std::thread([this] { runTool(); });
    for (int t = 0; t < m_inputs.size(); ++t)
        m_feeds.emplace_back([this, t] { feedTrack(t); });
    return true;
}

void StreamMux::runTool()
{
    QStringList fifos;
    for (int t = 0; t < m_inputs.size(); ++t)
        fifos << fifoPath(t);
    const QString format = m_extension == QLatin1String(".mkv") ? QStringLiteral("matroska") : QStringLiteral("mp4");
    const ToolCommand command{QStringLiteral("ffmpeg"),
                              QStringList{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                                          QStringLiteral("-nostats"), QStringLiteral("-loglevel"),
                                          QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
                                          fifos.first()} +
                                  muxArguments(fifos) + QStringList{QStringLiteral("-f"), format, m_output}};
    QByteArray kept;
    const ToolRunner::ToolResult result = ToolRunner::runToolChunks(
        command, m_running,
        [&kept](const QByteArray& chunk) {
            kept += chunk;
            if (kept.size() > kKeptOutput)
                kept.remove(0, kept.size() - kKeptOutput);
        },
        kGraceMs);
    std::lock_guard lock(m_mutex);
    m_tool = result;
    m_lastOutput = kept;
    m_toolEnded = true;
    m_changed.notify_all();
}

bool StreamMux::waitFor(const QString& path)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_arrived.contains(path) || ending(); });
    return !ending();
}

void StreamMux::feedTrack(int track)
{
    const StreamFeed::Outcome outcome = StreamFeed::feed(
        fifoPath(track), m_inputs.at(track), [this](const QString& path) { return waitFor(path); },
        [this] { return ending(); });
    std::lock_guard lock(m_mutex);
    m_fed[size_t(track)] = outcome;
    // A track that cannot reach ffmpeg whole dooms the mux; ffmpeg would wait for it for ever
    // (a FIFO it opens waits for a writer), so it is ended now.
    if (outcome != StreamFeed::Outcome::Fed && !m_abandoned) {
        m_running = false;
        m_changed.notify_all();
    }
}

void StreamMux::arrived(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_arrived.insert(path);
    m_changed.notify_all();
}

void StreamMux::abandon()
{
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_running = false;
    m_changed.notify_all();
}

void StreamMux::joinAll()
{
    if (m_joined)
        return;
    m_joined = true;
    for (std::thread& feed : m_feeds)
        feed.join();
    m_toolThread.join();
    for (int t = 0; t < m_inputs.size(); ++t)
        ::unlink(QFile::encodeName(fifoPath(t)).constData());
}

StreamMux::Result StreamMux::finish(const std::atomic<bool>* stop)
{
    Result result;
    if (!m_started) {
        result.outcome = Outcome::Refused;
        result.why = QStringLiteral("no FIFO could be made");
        return result;
    }
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_changed.wait_for(lock, kStopPoll, [this] { return m_toolEnded.load(); }))
                break;
        }
        if (stop && stop->load())
            abandon();
    }
    joinAll();
    bool fed = true;
    for (const StreamFeed::Outcome outcome : m_fed)
        fed = fed && outcome == StreamFeed::Outcome::Fed;
    if (!m_abandoned && fed && m_tool.code == ToolRunner::ToolResult::Code::Finished && m_tool.exitCode == 0) {
        result.outcome = Outcome::Muxed;
        result.file = m_output;
        return result;
    }
    QFile::remove(m_output);
    if (m_abandoned)
        return result;
    result.outcome = Outcome::Refused;
    const QString said = QString::fromLatin1(m_lastOutput).trimmed().section(QLatin1Char('\n'), -1).left(300);
    if (m_tool.code != ToolRunner::ToolResult::Code::Finished)
        result.why = QStringLiteral("ffmpeg did not run to its end");
    else if (m_tool.exitCode != 0)
        result.why = QStringLiteral("ffmpeg ended with status %1: %2").arg(m_tool.exitCode).arg(said);
    else
        result.why = QStringLiteral("a track did not reach ffmpeg whole");
    return result;
}
