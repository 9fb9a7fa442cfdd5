#include "support/DownloadTestBed.h"

#include "base/AppPaths.h"
#include "base/Texts.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

DownloadTestBed::DownloadTestBed()
{
    // The tests talk to 127.0.0.1 only; an environment proxy must not take those requests.
    qputenv("no_proxy", "127.0.0.1,localhost");
    qputenv("NO_PROXY", "127.0.0.1,localhost");
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(m_dir.path());
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::Temp));
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::FavIcons));
    m_defaultIcon = QByteArray("default icon placeholder");
    QFile icon(AppPaths::folder(AppPaths::Folder::FavIcons) + QStringLiteral("DefaultVideo"));
    if (icon.open(QIODevice::WriteOnly))
        icon.write(m_defaultIcon);
    settings = std::make_unique<Settings>(m_dir.path() + QStringLiteral("/Trawlix.conf"));
    settings->seedDefaultsIfMissing();
    Settings::setInstance(settings.get());

    rows = std::make_unique<DownloadRows>(videoFiles);
    rows->setView(&list);
    workers = std::make_unique<DownloadWorkers>(videoFiles, *rows);
    DownloadTimeouts timeouts;
    timeouts.probePass = std::chrono::milliseconds(50);
    timeouts.probeConnect = timeouts.probeReceive = std::chrono::milliseconds(3000);
    timeouts.downloadConnect = std::chrono::milliseconds(3000);
    timeouts.downloadReceive = std::chrono::milliseconds(800);
    timeouts.contentType = std::chrono::milliseconds(2000);
    timeouts.htmlPage = timeouts.plainHistoryPage = timeouts.otherHistoryPage = std::chrono::milliseconds(2000);
    timeouts.favIcon = std::chrono::milliseconds(2000);
    workers->setTimeouts(timeouts);
    workers->setAssemblyHook([this](qsizetype index) {
        assembledIndex = index;
        ++assemblies;
        if (removeRowOnAssembly)
            rows->remove(index);
    });
}

DownloadTestBed::~DownloadTestBed()
{
    workers.reset(); // joins every worker before the records go
    rows.reset();
    Settings::setInstance(nullptr);
}

QString DownloadTestBed::tempFile(const QString& name) const
{
    return AppPaths::folder(AppPaths::Folder::Temp) + name;
}

QByteArray DownloadTestBed::readTemp(const QString& name) const
{
    QFile file(tempFile(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qsizetype DownloadTestBed::addRecord(const QString& url, const QString& base, const QString& extension)
{
    VideoFile record;
    record.state = VideoFile::State::New;
    record.baseName = base;
    record.url = url;
    record.title = QStringLiteral("Unnamed media file");
    record.extension = extension;
    return videoFiles.append(record);
}

VideoFile DownloadTestBed::record(qsizetype index) const
{
    return videoFiles.at(index).value_or(VideoFile());
}

bool DownloadTestBed::waitForWorkers(int seconds)
{
    const bool idle = workers->waitForIdle(std::chrono::seconds(seconds));
    EXPECT_TRUE(idle) << "download workers still running after " << seconds << " s";
    return idle;
}

QByteArray DownloadTestBed::randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}
