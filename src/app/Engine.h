#pragma once

#include "capture/Get.h"
#include "capture/PacketCapture.h"
#include "library/MP3File.h"
#include "library/MediaTableModel.h"
#include "library/VideoFile.h"

#include <QObject>

#include <atomic>
#include <memory>

class RequestAnalyser;

// The program's shared state and long-lived workers, without any window: the record arrays
// of one run and the threads that fill them (capture, probe, library scan, importers,
// collectors). The desktop shell and the headless mode both drive one Engine; each subsystem
// adds its arrays and its start/stop calls here.
class Engine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Engine)

public:
    explicit Engine(QObject* parent = nullptr);
    ~Engine() override;

    VideoFileArray& videoFiles() { return m_videoFiles; }
    ImagesIndexArray& imagesIndexes() { return m_imagesIndexes; }
    TempRecordsFileArray& tempRecordsFiles() { return m_tempRecordsFiles; }
    GetArray& GetArr() { return m_getArr; }
    HistoryArray& HistoryArr() { return m_historyArr; }
    MP3FileArray& mp3Files() { return m_mp3Files; }

    // The media table; it lives on the engine's (the interface) thread.
    MediaTableModel& mediaTable() { return m_mediaTable; }

    // Capture: live traffic (every adapter, or the one named) or a capture file, analysed on
    // the capture thread. Starting again replaces the running capture; the arrays are kept.
    void startCapture(const PacketCapture::Source& source);
    void stopCapture();
    PacketCapture* capture() const { return m_capture.get(); }

    // The monitoring switch: while off, frames are read and dropped.
    void setMonitoring(bool on) { m_monitoring.store(on); }
    bool monitoring() const { return m_monitoring.load(); }

    // Candidates created by the analyser in this run.
    qint64 detectedMediaCount() const { return m_detectedMedia.load(); }

signals:
    // A new candidate was appended to videoFiles() (emitted on the capture thread).
    void candidateDetected(qsizetype index);
    // The capture thread ended (end of a capture file, failure or stop).
    void captureEnded(PacketCapture::Outcome outcome);

private:
    VideoFileArray m_videoFiles;
    ImagesIndexArray m_imagesIndexes;
    TempRecordsFileArray m_tempRecordsFiles;
    GetArray m_getArr;
    HistoryArray m_historyArr;
    MP3FileArray m_mp3Files;
    MediaTableModel m_mediaTable;

    std::atomic<bool> m_monitoring{true};
    std::atomic<qint64> m_detectedMedia{0};
    std::unique_ptr<RequestAnalyser> m_analyser; // used only on the capture thread
    std::unique_ptr<PacketCapture> m_capture;
};
