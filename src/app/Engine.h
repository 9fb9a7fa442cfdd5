#pragma once

#include "library/MP3File.h"
#include "library/MediaTableModel.h"
#include "library/VideoFile.h"

#include <QObject>

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
    MP3FileArray& mp3Files() { return m_mp3Files; }

    // The media table; it lives on the engine's (the interface) thread.
    MediaTableModel& mediaTable() { return m_mediaTable; }

private:
    VideoFileArray m_videoFiles;
    ImagesIndexArray m_imagesIndexes;
    TempRecordsFileArray m_tempRecordsFiles;
    MP3FileArray m_mp3Files;
    MediaTableModel m_mediaTable;
};
