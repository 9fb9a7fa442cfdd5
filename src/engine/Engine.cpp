#include "engine/Engine.h"

#include "base/PeriodicWorker.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "capture/MediaFilterSettings.h"
#include "capture/RequestAnalyser.h"
#include "download/CandidateProbe.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "download/GetEachURLThread.h"
#include "engine/KeyLogLocation.h"
#include "library/CacheMusicCollector.h"
#include "library/CacheMusicFollower.h"
#include "library/CapturedFileAssembly.h"
#include "library/FileImport.h"
#include "library/LinkDownloadImporter.h"
#include "library/RecordingsImporter.h"
#include "library/ScanScheduler.h"
#include "library/StreamAssembly.h"
#include "tools/LinkDownloadJob.h"
#include "tools/ToolRunner.h"
#include "wire/KeyLog.h"
#include "wire/WireDecoder.h"

#include <QStandardPaths>

#include <cstring>

#include <utility>

Engine::Engine(QObject* parent)
    : QObject(parent)
    , m_library(
          std::make_unique<LibraryContext>(LibraryContext{m_mediaTable, m_imagesIndexes, m_mp3Files, m_videoFiles}))
    , m_scans(std::make_unique<ScanScheduler>(*m_library))
    , m_downloadRows(std::make_unique<DownloadRows>(m_videoFiles))
    , m_downloadWorkers(std::make_unique<DownloadWorkers>(m_videoFiles, *m_downloadRows))
    , m_candidateProbe(std::make_unique<CandidateProbe>(m_videoFiles, *m_downloadRows, *m_downloadWorkers))
{
    m_library->setCaption = [this](const QString& caption) { emit libraryCaptionChanged(caption); };
    m_library->restoreCaption = [this] { emit libraryCaptionRestored(); };
    m_library->notify = [this](const QString& text) { emit libraryNotice(text); };
    // Files of no job of this run take the page of the download started last.
    m_library->linkPage = [] { return LinkDownloadJob::lastAddress(); };
    m_downloadWorkers->setAssemblyHook(
        [this](qsizetype index) { CapturedFileAssembly::run(*m_library, *m_downloadRows, index); });
    m_downloadWorkers->setStreamAssemblyHook([this](qsizetype index, const StreamDownload::Result& result) {
        StreamAssembly::run(*m_library, *m_downloadRows, index, result);
    });
    m_recordingsImporter =
        std::make_unique<PeriodicWorker>(QStringLiteral("RecordingsImporter"), std::chrono::milliseconds(1000),
                                         [this] { RecordingsImporter::pass(*m_library, m_tempRecordsFiles); });
    m_linkImporter =
        std::make_unique<PeriodicWorker>(QStringLiteral("LinkDownloadImporter"), std::chrono::milliseconds(1000),
                                         [this] { LinkDownloadImporter::pass(*m_library); });
    m_cacheFollower =
        std::make_unique<PeriodicWorker>(QStringLiteral("CacheMusicFollower"), std::chrono::milliseconds(1500),
                                         [this] { CacheMusicFollower::pass(*m_library); });
    m_library->flashWindow = [this] { emit libraryFlash(); };
    m_cacheCollector = std::make_unique<CacheMusicCollector>(
        *m_library, QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
        [this] { return m_monitoring.load(); });
    // The collector sleeps first: the browsers' caches are looked at five seconds after start.
    m_cacheCollectorThread = std::make_unique<PeriodicWorker>(
        QStringLiteral("CacheMusicCollector"), std::chrono::milliseconds(5000), [this] { m_cacheCollector->cycle(); },
        PeriodicWorker::FirstStep::Pause);
}

Engine::~Engine()
{
    // Tools end before the workers that wait for them are joined (a tool blocked on a FIFO
    // would hold a join for ever), and once more after: what a worker started meanwhile.
    if (m_capture)
        m_capture->requestStop();
    ToolRunner::killAllTools();
    stopCapture();
    stopProbe();
    stopLibraryWorkers();
    m_jobsStop = true;
    waitForJobs();
    ToolRunner::killAllTools();
    // Members go in reverse order: the download workers (whose assemblies insert into the
    // table) and the scans finish before the library state and the table.
}

void Engine::requestScan(const QString& timeFilter, const QString& titleFilter)
{
    m_scans->request({timeFilter, titleFilter});
}

void Engine::importFiles(const QStringList& paths)
{
    m_jobs.start([this, paths] {
        FileImport::importChosen(*m_library, paths);
        m_library->captionRestored();
        emit importFinished();
    });
}

void Engine::exportFiles(const QList<ExportCopies::Item>& items, const QString& folder)
{
    m_jobs.start([this, items, folder] {
        const QString processing = tx(u"..Processing ");
        const QStringList copies = ExportCopies::copyInto(
            items, folder,
            [this, &processing](int percent) {
                m_library->caption(QString::number(percent) + QLatin1Char('%') + processing);
            },
            &m_jobsStop);
        m_library->captionRestored();
        emit exportFinished(copies);
    });
}

void Engine::waitForJobs()
{
    m_jobs.waitForDone();
}

void Engine::startLibraryWorkers()
{
    m_recordingsImporter->start();
    m_linkImporter->start();
    m_cacheFollower->start();
    m_cacheCollectorThread->start();
}

void Engine::stopLibraryWorkers()
{
    m_recordingsImporter->stop();
    m_linkImporter->stop();
    m_cacheFollower->stop();
    m_cacheCollectorThread->stop();
}

void Engine::setLinkPageSource(std::function<QString()> source)
{
    m_library->linkPage = std::move(source);
}

void Engine::setDownloadList(DownloadList* list)
{
    m_downloadRows->setView(list);
}

void Engine::setAssemblyHook(std::function<void(qsizetype videoFileIndex)> hook)
{
    m_downloadWorkers->setAssemblyHook(std::move(hook));
}

void Engine::setDownloadTimeouts(const DownloadTimeouts& timeouts)
{
    m_downloadWorkers->setTimeouts(timeouts);
}

void Engine::startProbe()
{
    if (!m_probeThread)
        m_probeThread = std::make_unique<GetEachURLThread>(*m_candidateProbe, m_downloadWorkers->timeouts().probePass);
    m_probeThread->start();
}

void Engine::stopProbe()
{
    if (m_probeThread)
        m_probeThread->stop();
}

bool Engine::chooseKeyLog(const QString& commandLine, bool live, QString& error)
{
    m_keyLogCommandLine = commandLine;
    const KeyLogLocation::Choice choice = KeyLogLocation::choose(commandLine, Settings::instance().keyLogFile(), live);
    if (choice.own && !KeyLogLocation::prepareOwn(error)) {
        setKeyLogFile(QString());
        return false;
    }
    setKeyLogFile(choice.path, choice.own);
    return true;
}

void Engine::keyLogSettingChanged()
{
    const bool live = m_source.pcapFile.isEmpty();
    const KeyLogLocation::Choice choice =
        KeyLogLocation::choose(m_keyLogCommandLine, Settings::instance().keyLogFile(), live);
    if (choice.path == m_keyLogFile)
        return;
    QString error;
    if (choice.own && !KeyLogLocation::prepareOwn(error, false)) {
        trace(QStringLiteral("Key log: ") + error);
        return;
    }
    setKeyLogFile(choice.path, choice.own);
    if (m_capture && live)
        startCapture(m_source);
}

void Engine::stopDownloads()
{
    // Within the signal watch's grace, with room left for the rest of the exit.
    m_downloadWorkers->stop(std::chrono::seconds(20));
}

void Engine::startCapture(const PacketCapture::Source& source)
{
    stopCapture();
    m_source = source;
    auto cache =
        std::make_shared<CachedMediaFilterSettings>([] { return MediaFilterSettings::read(Settings::instance()); });
    m_analyser = std::make_unique<RequestAnalyser>(
        RequestAnalyser::Records{m_getArr, m_historyArr, m_videoFiles, m_detectedMedia},
        [cache] { return cache->get(); });
    m_analyser->setCandidateHook(
        [this](qsizetype index, const VideoFile& record) { emit candidateDetected(index, record); });
    RequestAnalyser* analyser = m_analyser.get();
    m_keysMissing = false;
    m_capture = std::make_unique<PacketCapture>(
        source,
        [this, analyser](const quint8* frame, quint16 length) {
            // The status line's count: a frame that opens a plain request ("GET /" anywhere, as
            // the analyser finds it). memmem is as cheap as the analyser's own first look.
            if (::memmem(frame, length, "GET /", 5) != nullptr)
                m_requestsSeen.fetch_add(1, std::memory_order_relaxed);
            analyser->analyse(frame, length);
        },
        m_monitoring);
    // HTTPS, and plain HTTP on ports other than 80 and 8080, go through the wire decoder, whose
    // exchanges meet the same candidate rules. Plain HTTP on 80 and 8080 stays with the frame
    // analyser alone (the decoder leaves those ports out), so that no request is taken twice.
    m_keyLog = std::make_unique<KeyLog>();
    m_keyLog->setFile(m_keyLogFile.toStdString(), m_keyLogOwn);
    const WireLimits limits;
    ExchangeSink sink;
    sink.responseStarted = [this, analyser](const HttpExchange& exchange) {
        // Plain requests were counted from their frames already.
        if (exchange.encrypted)
            m_requestsSeen.fetch_add(1, std::memory_order_relaxed);
        analyser->analyseExchange(exchange);
    };
    sink.keysMissing = [this, told = false]() mutable {
        m_keysMissing = true;
        if (!std::exchange(told, true))
            emit keysMissing();
    };
    m_wireDecoder = std::make_unique<WireDecoder>(*m_keyLog, limits, std::move(sink));
    WireDecoder* decoder = m_wireDecoder.get();
    m_capture->setWireSink([decoder](int linkType, qint64 time, const quint8* frame, quint32 length) {
        decoder->feed(linkType, time, frame, length);
    });
    // At the end of a capture file the connections still open are ended, so that an exchange
    // cut off by the end is completed and the keys that never came are counted.
    m_capture->setEndHook([decoder] { decoder->finish(); });
    PacketCapture* capture = m_capture.get();
    connect(capture, &QThread::finished, this, [this, capture] {
        if (m_capture.get() == capture)
            emit captureEnded(capture->outcome());
    });
    m_capture->start();
}

Engine::CaptureStatus Engine::captureStatus() const
{
    CaptureStatus status;
    status.requests = m_requestsSeen.load(std::memory_order_relaxed);
    status.candidates = m_detectedMedia.load();
    status.keyLog = !m_keyLogFile.isEmpty();
    status.keysMissing = m_keysMissing.load();
    if (!m_capture)
        return status;
    const bool file = !m_source.pcapFile.isEmpty();
    status.adapter = file ? m_source.pcapFile : m_capture->chosenAdapter();
    if (status.adapter.isEmpty())
        status.adapter = m_source.interfaceName;
    switch (m_capture->outcome()) {
    case PacketCapture::Outcome::Running:
        if (!m_monitoring.load())
            status.state = CaptureState::Paused;
        else if (file)
            status.state = CaptureState::Reading;
        else
            status.state = m_capture->openedAdapters() > 0 ? CaptureState::Watching : CaptureState::Opening;
        break;
    case PacketCapture::Outcome::NoDevices:
        status.state = CaptureState::NoAdapters;
        break;
    case PacketCapture::Outcome::NoAdapterOpened:
        status.state = CaptureState::NoPermission;
        break;
    case PacketCapture::Outcome::FileUnreadable:
    case PacketCapture::Outcome::EndOfFile:
    case PacketCapture::Outcome::ReadError:
    case PacketCapture::Outcome::Stopped:
        status.state = CaptureState::Ended;
        break;
    }
    return status;
}

void Engine::stopCapture()
{
    if (m_capture) {
        m_capture->requestStop();
        m_capture->wait();
        m_capture.reset();
    }
    m_wireDecoder.reset();
    m_keyLog.reset();
    m_analyser.reset();
}
