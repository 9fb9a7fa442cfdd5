#include "LibraryFixture.h"

#include "download/DownloadWorkers.h"
#include "engine/Engine.h"
#include "library/LibraryListing.h"
#include "library/TagStore.h"
#include "support/NginxServer.h"
#include "support/RecordingDownloadList.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The end of a captured video's road with the real parts behind the capture: nginx serves the
// page and the video, the engine probes the detected request, downloads it in four ranges,
// assembles, tags and lists it.
class LibraryRoadTest : public LibraryFixture
{
};

TEST_F(LibraryRoadTest, ADetectedVideoEndsInTheLibrary)
{
    QTemporaryDir site;
    ASSERT_TRUE(site.isValid());
    makeVideo(site.path() + QStringLiteral("/clip.mp4"), 640, 360, 8);
    QFile page(site.path() + QStringLiteral("/watch.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Road Test Page</title></head><body>video</body></html>");
    page.close();
    NginxServer nginx(site.path());
    if (!nginx.isAvailable())
        TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
    ASSERT_TRUE(nginx.start()) << nginx.error().toStdString();

    m_settings->write(QStringLiteral("accelerator"), QStringLiteral("true"));
    m_settings->write(QStringLiteral("repairvideos"), QStringLiteral("true"));
    Engine engine;
    RecordingDownloadList list;
    engine.setDownloadList(&list);

    VideoFile detected;
    detected.state = VideoFile::State::New;
    detected.baseName = QString::number(m_now);
    detected.url = nginx.url(QStringLiteral("/clip.mp4"));
    detected.referer = nginx.url(QStringLiteral("/watch.html"));
    detected.pageAddress = detected.referer;
    detected.userAgent = QStringLiteral("RoadTest/1.0");
    detected.title = QStringLiteral("Unnamed media file");
    detected.extension = QStringLiteral(".mp4");
    engine.videoFiles().append(detected);
    engine.startProbe();

    MediaTableModel& table = engine.mediaTable();
    const bool listed = processUntil([&] { return table.rowCount() == 1; }, 45);
    engine.stopProbe();
    ASSERT_TRUE(listed) << list.events().join(QLatin1Char('\n')).toStdString();

    const QString path = videos() + QString::number(m_now) + QStringLiteral(".mp4");
    EXPECT_EQ(table.rowAt(0).path, path);
    EXPECT_TRUE(list.events().contains(QStringLiteral("remove 0"))) << "the download row is gone";
    EXPECT_EQ(TagStore::read(path, QStringLiteral("title")), QStringLiteral("Road Test Page"));
    EXPECT_EQ(TagStore::read(path, QStringLiteral("author")), detected.referer);
    EXPECT_EQ(table.rowAt(0).duration, QStringLiteral("00:00:08"));
    EXPECT_TRUE(QFileInfo::exists(dir() + QStringLiteral("160x90/") + detected.baseName + QStringLiteral(".jpg")));
    EXPECT_EQ(photoImages(), QStringList{QStringLiteral("160x90/") + detected.baseName + QStringLiteral(".jpg")});
    EXPECT_TRUE(QDir(dir() + QStringLiteral("Temp")).entryList(QDir::Files).isEmpty());

    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(QStandardPaths::findExecutable(QStringLiteral("ffprobe")), {QStringLiteral("-show_streams"), path});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QByteArray streams = probe.readAll();
    EXPECT_TRUE(streams.contains("codec_type=video")) << streams.constData();
    EXPECT_TRUE(streams.contains("codec_type=audio"));
    EXPECT_EQ(LibraryListing::line(table.rowAt(0)).section(QLatin1Char('\t'), 0, 0), QStringLiteral("Road Test Page"));
    engine.setDownloadList(nullptr);
}

} // namespace
