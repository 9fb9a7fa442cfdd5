#include "LibraryFixture.h"

#include "library/LibraryInserter.h"
#include "library/TagStore.h"
#include "library/ThumbnailMaker.h"
#include "model/BaseNames.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace {

class LibraryInserterTest : public LibraryFixture
{
protected:
    void insertAndWait(const QString& path, const QString& icon)
    {
        const int before = m_table.rowCount();
        LibraryInserter::insert(*m_context, path, icon);
        ASSERT_TRUE(processUntil([&] { return m_table.rowCount() == before + 1; }));
    }
    QString picture(const char* folder, const QString& base, const char* ext) const
    {
        return dir() + QLatin1String(folder) + QLatin1Char('/') + base + QLatin1String(ext);
    }
};

TEST(ThumbnailCommands, SeekRule)
{
    struct Case
    {
        const char* base;
        const char* duration;
        bool audio;
        std::optional<int> seek;
    };
    const Case cases[] = {
        {"1700000000", "00:01:40.00, MP4", false, 25},
        {"1700000000", "01:00:00.00", false, 900},
        {"1700000000", "n/a, MP4", false, 0},
        {"1000", "00:00:08.00", false, 2},
        {"999", "00:00:08.00", false, 1},
        {"00", "00:00:08.00", false, 1},
        {"!!", "00:00:08.00", false, 1},
        {"1700000000", "00:01:40.00", true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(ThumbnailMaker::seekSeconds(QLatin1String(c.base), QLatin1String(c.duration), c.audio), c.seek);
    }
}

TEST(ThumbnailCommands, RetryDoesNotHangOnOneWording)
{
    const QString missing = QStringLiteral("/nonexistent/still.bmp");
    EXPECT_TRUE(ThumbnailMaker::stillFrameNeedsRetry(QStringLiteral("Error opening filters!"), missing));
    EXPECT_TRUE(ThumbnailMaker::stillFrameNeedsRetry(QStringLiteral("Error reinitializing filters!"), missing));
    EXPECT_TRUE(ThumbnailMaker::stillFrameNeedsRetry(QStringLiteral("some future wording"), missing));
}

TEST_F(LibraryInserterTest, VideoGetsRowTagsPicturesAndScrollerEntry)
{
    const QString path = videos() + QStringLiteral("1700000000.mp4");
    makeVideo(path, 320, 180, 4);
    TagStore::write(path, QStringLiteral("title"), QStringLiteral("Page title"));
    TagStore::write(path, QStringLiteral("author"), QStringLiteral("http://example.test/page"));
    resetFfmpegRuns();
    insertAndWait(path, QStringLiteral("DefaultVideo"));

    const MediaRow& row = m_table.rowAt(0);
    EXPECT_EQ(row.title, QStringLiteral("Page title"));
    EXPECT_EQ(row.author, QStringLiteral("http://example.test/page"));
    EXPECT_EQ(row.format, QStringLiteral("MP4"));
    EXPECT_EQ(row.duration, QStringLiteral("00:00:04"));
    EXPECT_EQ(row.path, path);
    EXPECT_EQ(row.size, QString::number(QFileInfo(path).size() / 1048576.0, 'f', 1) + QStringLiteral(" MB"));
    EXPECT_EQ(row.sizeBytes, QFileInfo(path).size());
    EXPECT_EQ(TagStore::read(path, QStringLiteral("comments")), QStringLiteral("00:00:04.00, MP4"));
    const QString base = QStringLiteral("1700000000");
    EXPECT_TRUE(QFileInfo::exists(picture("160x90", base, ".jpg")));
    EXPECT_EQ(QImage(picture("Screens", base, ".bmp")).size(), QSize(180, 180));
    EXPECT_EQ(photoImages(), QStringList{QStringLiteral("160x90/1700000000.jpg")});
    EXPECT_EQ(BaseNames::imageIndexOf(m_imagesIndexes, base), row.imageIndex);
    EXPECT_NE(m_table.largeImage(row.imageIndex), MediaTableModel::placeholderLarge());
    // No site icon was there: the small icon stays the placeholder, and no run was spent on it.
    EXPECT_EQ(m_table.smallImage(row.imageIndex), MediaTableModel::placeholderSmall());
    EXPECT_EQ(ffmpegRuns(), 4); // duration, thumbnail, still frame, large icon
}

TEST_F(LibraryInserterTest, PortraitStillFrameComesFromTheSecondRun)
{
    const QString path = videos() + QStringLiteral("1700000001.mp4");
    makeVideo(path, 180, 320, 2);
    resetFfmpegRuns();
    insertAndWait(path, QStringLiteral("DefaultVideo"));
    // "crop=in_h" cannot cut a square of the height from a portrait frame; "crop=in_w" keeps the
    // frame's full width and height.
    EXPECT_EQ(QImage(picture("Screens", QStringLiteral("1700000001"), ".bmp")).size(), QSize(180, 320));
    EXPECT_EQ(ffmpegRuns(), 5);
    EXPECT_EQ(m_table.rowAt(0).title, QStringLiteral("Unnamed media file"));
}

TEST_F(LibraryInserterTest, AudioWithoutPictureKeepsPlaceholdersAndNoScrollerEntry)
{
    const QString path = videos() + QStringLiteral("1700000002.mp3");
    makeAudio(path, 2);
    QImage site(32, 32, QImage::Format_RGB32);
    site.fill(Qt::green);
    ASSERT_TRUE(site.save(dir() + QStringLiteral("FavIcons/DefaultAudio.png")));
    ASSERT_TRUE(QFile::rename(dir() + QStringLiteral("FavIcons/DefaultAudio.png"),
                              dir() + QStringLiteral("FavIcons/DefaultAudio")));
    insertAndWait(path, QStringLiteral("DefaultAudio"));
    const MediaRow& row = m_table.rowAt(0);
    EXPECT_EQ(row.duration, QStringLiteral("00:00:02"));
    EXPECT_TRUE(photoImages().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(picture("160x90", QStringLiteral("1700000002"), ".jpg")));
    EXPECT_EQ(m_table.largeImage(row.imageIndex), MediaTableModel::placeholderLarge());
    const QImage small = m_table.smallImage(row.imageIndex);
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_EQ(QColor(small.pixel(8, 8)).green(), 255) << "the site icon makes the small icon";
}

TEST_F(LibraryInserterTest, CacheMusicTakesItsCacheTime)
{
    const QString path = videos() + QStringLiteral("1700000003.mp3");
    makeAudio(path, 1);
    MP3File record;
    record.libraryPath = path;
    record.fileTime = QDateTime::fromSecsSinceEpoch(1600000000);
    m_mp3Files.append(record);
    insertAndWait(path, QStringLiteral("DefaultAudio"));
    EXPECT_EQ(m_table.rowAt(0).captureSeconds, 1600000000);
    EXPECT_EQ(QFileInfo(path).lastModified().toSecsSinceEpoch(), 1600000000);
}

TEST_F(LibraryInserterTest, TheHundredAndFirstThumbnailDropsTheOldest)
{
    QString xml = QStringLiteral("<slideshow>");
    for (int i = 100; i >= 1; --i)
        xml += QStringLiteral("<photo image=\"160x90/%1.jpg\" video=\"%1.mp4\">00:00:01</photo>").arg(i);
    xml += QStringLiteral("</slideshow>");
    QFile file(dir() + QStringLiteral("videos.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(xml.toUtf8());
    file.close();

    const QString path = videos() + QStringLiteral("1700000004.mp4");
    makeVideo(path, 160, 90, 1);
    insertAndWait(path, QStringLiteral("DefaultVideo"));
    const QStringList images = photoImages();
    ASSERT_EQ(images.size(), 100);
    EXPECT_EQ(images.first(), QStringLiteral("160x90/1700000004.jpg"));
    EXPECT_EQ(images.at(1), QStringLiteral("160x90/100.jpg"));
    EXPECT_EQ(images.last(), QStringLiteral("160x90/2.jpg"));
}

TEST_F(LibraryInserterTest, TutorialFileIsThumbnailedAtSecondOne)
{
    const QString path = videos() + QStringLiteral("00.mp4");
    makeVideo(path, 320, 180, 3);
    insertAndWait(path, QStringLiteral("DefaultVideo"));
    const QImage still(picture("Screens", QStringLiteral("00"), ".bmp"));
    ASSERT_FALSE(still.isNull());
    // testsrc draws a running counter, so the frames of seconds 0 and 1 differ.
    QList<QImage> references;
    for (const char* second : {"0", "1"}) {
        const QString reference = dir() + QStringLiteral("ref") + QLatin1String(second) + QStringLiteral(".bmp");
        ffmpeg({QStringLiteral("-ss"), QLatin1String(second), QStringLiteral("-i"), path, QStringLiteral("-an"),
                QStringLiteral("-r"), QStringLiteral("1"), QStringLiteral("-vframes"), QStringLiteral("1"),
                QStringLiteral("-vf"), QStringLiteral("crop=in_h"), reference});
        references << QImage(reference);
    }
    ASSERT_NE(references.at(0), references.at(1));
    EXPECT_EQ(still, references.at(1));
}

} // namespace
