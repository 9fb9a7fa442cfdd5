#include "app/Engine.h"

#include "app/Settings.h"
#include "capture/MediaFilterSettings.h"
#include "capture/RequestAnalyser.h"

Engine::Engine(QObject* parent)
    : QObject(parent)
{
}

Engine::~Engine()
{
    stopCapture();
}

void Engine::startCapture(const PacketCapture::Source& source)
{
    stopCapture();
    auto cache = std::make_shared<CachedMediaFilterSettings>(
        [] { return MediaFilterSettings::read(Settings::instance()); });
    m_analyser = std::make_unique<RequestAnalyser>(
        RequestAnalyser::Records{m_getArr, m_historyArr, m_videoFiles, m_detectedMedia},
        [cache] { return cache->get(); });
    m_analyser->setCandidateHook([this](qsizetype index, const VideoFile&) { emit candidateDetected(index); });
    RequestAnalyser* analyser = m_analyser.get();
    m_capture = std::make_unique<PacketCapture>(
        source, [analyser](const quint8* frame, quint16 length) { analyser->analyse(frame, length); },
        m_monitoring);
    PacketCapture* capture = m_capture.get();
    connect(capture, &QThread::finished, this, [this, capture] {
        if (m_capture.get() == capture)
            emit captureEnded(capture->outcome());
    });
    m_capture->start();
}

void Engine::stopCapture()
{
    if (m_capture) {
        m_capture->requestStop();
        m_capture->wait();
        m_capture.reset();
    }
    m_analyser.reset();
}
