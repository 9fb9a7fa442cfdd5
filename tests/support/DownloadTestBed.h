#pragma once

#include "base/Settings.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "model/VideoFile.h"
#include "support/RecordingDownloadList.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

// What the probe and download tests share: a data folder of their own with "Temp/" and
// "FavIcons/" (and a "DefaultVideo" placeholder icon), English texts, a settings store in the
// folder, the record array, the rows with a recording list, and workers with short time-outs
// whose completions are counted instead of assembled.
class DownloadTestBed final
{
public:
    DownloadTestBed();
    ~DownloadTestBed();

    QString dataDir() const { return m_dir.path(); }
    QString tempFile(const QString& name) const;
    QByteArray readTemp(const QString& name) const;
    QByteArray defaultIcon() const { return m_defaultIcon; }

    // Appends a record in state New with base name base.
    qsizetype addRecord(const QString& url, const QString& base, const QString& extension = QStringLiteral(".mp4"));
    VideoFile record(qsizetype index) const;

    // Waits for the workers; false (and a test failure) when they did not end in time.
    bool waitForWorkers(int seconds = 30);

    // Random bytes, the same for the same seed.
    static QByteArray randomBytes(qsizetype size, quint32 seed);

    VideoFileArray videoFiles;
    RecordingDownloadList list;
    std::unique_ptr<DownloadRows> rows;
    std::unique_ptr<DownloadWorkers> workers;
    std::unique_ptr<Settings> settings;
    std::atomic<int> assemblies{0};
    std::atomic<qsizetype> assembledIndex{-1};
    std::atomic<bool> removeRowOnAssembly{true};

private:
    QTemporaryDir m_dir;
    QByteArray m_defaultIcon;
};
