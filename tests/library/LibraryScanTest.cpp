#include "LibraryFixture.h"

#include "library/FileImport.h"
#include "library/ImageIndexLookup.h"
#include "library/LibraryFormat.h"
#include "library/LibraryScan.h"
#include "library/ScanScheduler.h"
#include "library/TagStore.h"
#include "library/TimeFilter.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>

#include <thread>

namespace {

class LibraryScanTest : public LibraryFixture
{
protected:
    QString
    addFile(const QString& name, const QString& title, const QString& comments = QStringLiteral("00:00:07.00, MP4"))
    {
        const QString path = videos() + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1000, 'x'));
        file.close();
        if (!title.isEmpty())
            TagStore::write(path, QStringLiteral("title"), title);
        if (!comments.isEmpty())
            TagStore::write(path, QStringLiteral("comments"), comments);
        // A thumbnail already made: the scan needs no pictures.
        QFile thumb(dir() + QStringLiteral("160x90/") + name.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".jpg"));
        EXPECT_TRUE(thumb.open(QIODevice::WriteOnly));
        return path;
    }
    QStringList scan(const QString& timeFilter, const QString& titleFilter = {})
    {
        // On the table's own thread the scan changes the table directly.
        LibraryScan::run(*m_context, {timeFilter, titleFilter});
        QStringList titles;
        for (const MediaRow& row : m_table.rows())
            titles << row.title;
        titles.sort();
        return titles;
    }
    // The file's own time, which a copy or a restore changes while its name keeps its time.
    static void setFileTime(const QString& path, qint64 seconds)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(seconds), QFileDevice::FileModificationTime));
    }
    static QStringList namesOf(const MediaTableModel& table)
    {
        QStringList names;
        for (const MediaRow& row : table.rows())
            names << row.path.section(QLatin1Char('/'), -1);
        return names;
    }
    void processShortly()
    {
        for (int i = 0; i < 20; ++i)
            spin();
    }
};

TEST(TimeFilterRule, SpansAndDefaults)
{
    EXPECT_EQ(TimeFilter::span(QStringLiteral("24")), 3600);
    EXPECT_EQ(TimeFilter::span(QStringLiteral("3")), 259200);
    EXPECT_EQ(TimeFilter::span(QStringLiteral("7")), 604800);
    EXPECT_EQ(TimeFilter::span(QStringLiteral("30")), 2592000);
    EXPECT_EQ(TimeFilter::span(QStringLiteral("all")), 0);
    EXPECT_EQ(TimeFilter::span(QStringLiteral("bogus")), 0);

    const qint64 now = 1800000000;
    auto names = [&](int count, qint64 age) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list << QString::number(now - age - i) + QStringLiteral(".mp4");
        return list;
    };
    struct Case
    {
        const char* name;
        QStringList files;
        const char* expected;
    };
    const QList<Case> cases = {
        {"51 of the last day", names(51, 7200), "24"},
        {"50 are not enough", names(50, 7200), "3"},
        {"51 within three days", names(51, 2 * 86400), "3"},
        {"51 within a week", names(51, 5 * 86400), "7"},
        {"51 within a month", names(51, 20 * 86400), "30"},
        {"older", names(60, 40 * 86400), "all"},
        {"future counts as young", names(51, -5000), "24"},
        {"tutorials do not count", QStringList(51, QStringLiteral("00.mp4")), "all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList files = c.files;
        if (QLatin1String(c.name) == QLatin1String("50 are not enough"))
            files << names(1, 2 * 86400);
        EXPECT_EQ(TimeFilter::defaultFor(files, now), QLatin1String(c.expected));
    }
}

TEST_F(LibraryScanTest, TimeAndTitleFiltersAndHiddenFiles)
{
    addFile(QString::number(m_now - 600) + QStringLiteral(".mp4"), QStringLiteral("Ten minutes"));
    addFile(QString::number(m_now - 7200) + QStringLiteral(".mp4"), QStringLiteral("Two hours"));
    addFile(QString::number(m_now - 5 * 86400) + QStringLiteral(".mp3"), QStringLiteral("Five days song"));
    addFile(QStringLiteral("00.mp4"), {});
    addFile(QString::number(m_now - 60) + QStringLiteral(".mp4"), QStringLiteral("Deleted by the user"));
    ASSERT_TRUE(TagStore::markForDeletion(videos() + QString::number(m_now - 60) + QStringLiteral(".mp4")));
    addFile(QStringLiteral("Thumbs.db"), QStringLiteral("never"));

    struct Case
    {
        const char* time;
        const char* title;
        QStringList expected;
    };
    const QList<Case> cases = {
        {"24", "", {QStringLiteral("Ten minutes")}},
        {"3", "", {QStringLiteral("Ten minutes"), QStringLiteral("Two hours")}},
        {"7", "", {QStringLiteral("Five days song"), QStringLiteral("Ten minutes"), QStringLiteral("Two hours")}},
        {"all",
         "",
         {QStringLiteral("Five days song"), QStringLiteral("Ten minutes"), QStringLiteral("Two hours"),
          QStringLiteral("КАК ПОЛЬЗОВАТЬСЯ программой Trawlix?")}},
        {"all", "tWo", {QStringLiteral("Two hours")}},
        {"all", "как", {QStringLiteral("КАК ПОЛЬЗОВАТЬСЯ программой Trawlix?")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.time) + "/" + c.title);
        EXPECT_EQ(scan(QLatin1String(c.time), QString::fromUtf8(c.title)), c.expected);
    }
    EXPECT_EQ(TagStore::read(videos() + QStringLiteral("00.mp4"), QStringLiteral("title")),
              QStringLiteral("КАК ПОЛЬЗОВАТЬСЯ программой Trawlix?"));
    EXPECT_FALSE(m_settings->read(QStringLiteral("_FirstRunTime")).isEmpty());
    EXPECT_EQ(ffmpegRuns(), 0);
}

TEST_F(LibraryScanTest, DefaultFilterCountsTheLibraryFolder)
{
    EXPECT_EQ(TimeFilter::defaultForLibrary(m_now), QStringLiteral("all"));
    for (int i = 0; i < 51; ++i)
        addFile(QString::number(m_now - 7200 - i) + QStringLiteral(".mp4"), QStringLiteral("Recent"));
    EXPECT_EQ(TimeFilter::defaultForLibrary(m_now), QStringLiteral("24"));
    // "24" shows the last hour only: the files of two hours ago are all hidden under it.
    EXPECT_TRUE(scan(QStringLiteral("24")).isEmpty());
}

TEST_F(LibraryScanTest, RowsShowTheCachedDetails)
{
    const QString path = addFile(QString::number(m_now) + QStringLiteral(".webm"), QStringLiteral("Clip"),
                                 QStringLiteral("01:02:03.45, WEBM"));
    TagStore::write(path, QStringLiteral("author"), QStringLiteral("http://site.test/watch"));
    scan(QStringLiteral("all"));
    ASSERT_EQ(m_table.rowCount(), 1);
    const MediaRow& row = m_table.rowAt(0);
    EXPECT_EQ(row.duration, QStringLiteral("01:02:03"));
    EXPECT_EQ(row.format, QStringLiteral("WEBM"));
    EXPECT_EQ(row.author, QStringLiteral("http://site.test/watch"));
    EXPECT_EQ(row.size, QStringLiteral("0.0 MB"));
    EXPECT_EQ(row.path, path);
}

TEST_F(LibraryScanTest, LibrarySurvivesARestartWithoutMeasuringAgain)
{
    for (int i = 0; i < 3; ++i) {
        const QString path = videos() + QString::number(m_now - 100 + i) + QStringLiteral(".mp4");
        makeVideo(path, 160, 120, 2 + i);
        TagStore::write(path, QStringLiteral("title"), QStringLiteral("Clip %1").arg(i));
    }
    resetFfmpegRuns();
    scan(QStringLiteral("all"));
    EXPECT_GE(ffmpegRuns(), 3 * 4) << "first sight: duration, thumbnail, still frame and two icons";
    const QList<MediaRow> first = m_table.rows();
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(photoImages().size(), 3);

    // A new run of the program: empty arrays, an empty table, the same folder.
    MediaTableModel table;
    ImagesIndexArray indexes;
    MP3FileArray mp3;
    VideoFileArray videoFiles;
    LibraryContext again{table, indexes, mp3, videoFiles};
    resetFfmpegRuns();
    LibraryScan::run(again, {QStringLiteral("all"), {}});
    processUntil([&] { return table.rowCount() == 3; });
    ASSERT_EQ(table.rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(table.rowAt(r).title, first.at(r).title);
        EXPECT_EQ(table.rowAt(r).duration, first.at(r).duration);
        EXPECT_EQ(table.rowAt(r).path, first.at(r).path);
        EXPECT_NE(table.largeImage(table.rowAt(r).imageIndex), MediaTableModel::placeholderLarge());
    }
    EXPECT_EQ(table.rowAt(0).duration.left(8), first.at(0).duration);
    EXPECT_EQ(ffmpegRuns(), 0);
}

TEST_F(LibraryScanTest, CaptureTimeIsTheNamesTimeThatTheFiltersUse)
{
    const qint64 day = 86400;
    struct Case
    {
        const char* what;
        QString name;
        qint64 fileTime;
        qint64 shown;
        QStringList filters; // those that list it
    };
    const QList<Case> cases = {
        {"a 40-day-old clip copied back today",
         QString::number(m_now - 40 * day) + QStringLiteral(".mp4"),
         m_now,
         m_now - 40 * day,
         {QStringLiteral("all")}},
        {"a clip of ten minutes ago with an old file time",
         QString::number(m_now - 600) + QStringLiteral(".webm"),
         m_now - 100 * day,
         m_now - 600,
         {QStringLiteral("all"), QStringLiteral("30"), QStringLiteral("7"), QStringLiteral("3"), QStringLiteral("24")}},
        {"a file placed by hand shows its own time",
         QStringLiteral("holiday.mp4"),
         m_now - 3 * day,
         m_now - 3 * day,
         {QStringLiteral("all")}},
        {"a name that only starts with digits is no capture time",
         QStringLiteral("1700000000 remix.mp3"),
         m_now - 2 * day,
         m_now - 2 * day,
         {QStringLiteral("all")}},
    };
    for (const Case& c : cases)
        setFileTime(addFile(c.name, QString::fromLatin1(c.what)), c.fileTime);

    for (const QString& filter : {QStringLiteral("all"), QStringLiteral("30"), QStringLiteral("7"), QStringLiteral("3"),
                                  QStringLiteral("24")}) {
        const QStringList listed = scan(filter);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " under " + filter.toStdString());
            EXPECT_EQ(listed.contains(QString::fromLatin1(c.what)), c.filters.contains(filter));
        }
    }
    scan(QStringLiteral("all"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int r = m_table.rowOfPath(videos() + c.name);
        ASSERT_GE(r, 0);
        EXPECT_EQ(m_table.rowAt(r).captureSeconds, c.shown);
        EXPECT_EQ(m_table.rowAt(r).captureTime, LibraryFormat::captureTime(QDateTime::fromSecsSinceEpoch(c.shown)));
    }
}

TEST_F(LibraryScanTest, NewestFirstAfterAScanAnImportAndARestart)
{
    // Made in an order unlike their times (a folder lists in no order of its own); the 9-digit name
    // is from 2001 and the tutorials have no time at all.
    const QStringList made = {QString::number(m_now - 500) + QStringLiteral(".mp4"),  QStringLiteral("00.mp4"),
                              QString::number(m_now - 10) + QStringLiteral(".mp3"),   QStringLiteral("999999999.mp4"),
                              QString::number(m_now - 9000) + QStringLiteral(".flv"), QStringLiteral("!!.mp4"),
                              QString::number(m_now - 20) + QStringLiteral(".mp4")};
    for (const QString& name : made)
        setFileTime(addFile(name, QStringLiteral("Clip")), m_now - 50 * 86400 + (name.size() * 7919) % 5000);
    const QStringList newestFirst = {QString::number(m_now - 10) + QStringLiteral(".mp3"),
                                     QString::number(m_now - 20) + QStringLiteral(".mp4"),
                                     QString::number(m_now - 500) + QStringLiteral(".mp4"),
                                     QString::number(m_now - 9000) + QStringLiteral(".flv"),
                                     QStringLiteral("999999999.mp4"),
                                     QStringLiteral("00.mp4"),
                                     QStringLiteral("!!.mp4")};
    scan(QStringLiteral("all"));
    EXPECT_EQ(namesOf(m_table), newestFirst);

    // Import: the chosen files get the next seconds and come on top, the last chosen first.
    const QString first = dir() + QStringLiteral("first.mp3");
    const QString second = dir() + QStringLiteral("second.mp3");
    for (const QString& path : {first, second}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(path.toUtf8());
    }
    setFileTime(first, m_now - 300 * 86400);
    ASSERT_EQ(FileImport::importChosen(*m_context, {first, second}), 2);
    scan(QStringLiteral("all"));
    const QStringList afterImport = namesOf(m_table);
    ASSERT_EQ(afterImport.size(), newestFirst.size() + 2);
    EXPECT_EQ(afterImport.mid(2), newestFirst);
    EXPECT_EQ(TagStore::read(videos() + afterImport.at(0), QStringLiteral("title")), QStringLiteral("second"));
    EXPECT_EQ(TagStore::read(videos() + afterImport.at(1), QStringLiteral("title")), QStringLiteral("first"));
    EXPECT_GE(m_table.rowAt(1).captureSeconds, m_now) << "an imported file is captured now, whatever its own time";

    // A restart: a new table from the same folder.
    MediaTableModel table;
    ImagesIndexArray indexes;
    MP3FileArray mp3;
    VideoFileArray videoFiles;
    LibraryContext again{table, indexes, mp3, videoFiles};
    LibraryScan::run(again, {QStringLiteral("all"), {}});
    processUntil([&] { return table.rowCount() == afterImport.size(); });
    EXPECT_EQ(namesOf(table), afterImport);
}

TEST_F(LibraryScanTest, IconsAreReadWhenTheirRowIsPainted)
{
    auto saveIcon = [&](const QString& folder, const QString& base, int side, Qt::GlobalColor colour) {
        QImage image(side, side, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(dir() + folder + base + QStringLiteral(".png"), "BMP"));
        QFile::remove(dir() + folder + base + QStringLiteral(".bmp"));
        ASSERT_TRUE(QFile::rename(dir() + folder + base + QStringLiteral(".png"),
                                  dir() + folder + base + QStringLiteral(".bmp")));
    };
    const QString fresh = QString::number(m_now - 10);
    const QString huge = QString::number(m_now - 20);
    const QString none = QString::number(m_now - 30);
    for (const QString& base : {fresh, huge, none})
        addFile(base + QStringLiteral(".mp4"), base);
    saveIcon(QStringLiteral("32x32/"), fresh, 32, Qt::green);
    saveIcon(QStringLiteral("16x16/"), fresh, 16, Qt::green);
    // A picture far past any icon's size is not decoded at all.
    saveIcon(QStringLiteral("32x32/"), huge, 400, Qt::blue);
    saveIcon(QStringLiteral("16x16/"), huge, 400, Qt::blue);
    ASSERT_GT(QFileInfo(dir() + QStringLiteral("16x16/") + huge + QStringLiteral(".bmp")).size(),
              MediaTableModel::MaxIconFileBytes);

    scan(QStringLiteral("all"));
    ASSERT_EQ(m_table.rowCount(), 3);
    // The icon on disk changes after the scan, before the row is painted: the row shows the new one.
    saveIcon(QStringLiteral("16x16/"), fresh, 16, Qt::red);
    auto pixel = [&](const QString& base, int role) {
        const QModelIndex index = m_table.index(m_table.rowOfPath(videos() + base + QStringLiteral(".mp4")), 0);
        const QImage image = index.data(role).value<QImage>();
        return image.pixel(image.width() / 2, image.height() / 2);
    };
    EXPECT_EQ(pixel(fresh, Qt::DecorationRole), QColor(Qt::red).rgb());
    EXPECT_EQ(pixel(fresh, MediaTableModel::LargeImageRole), QColor(Qt::green).rgb());
    EXPECT_EQ(m_table.index(0, 0).data(Qt::DecorationRole).value<QImage>().size(), QSize(16, 16));
    // Read once: a repaint does not go to the disk again.
    saveIcon(QStringLiteral("16x16/"), fresh, 16, Qt::yellow);
    EXPECT_EQ(pixel(fresh, Qt::DecorationRole), QColor(Qt::red).rgb());
    const MediaRow hugeRow = m_table.rowAt(m_table.rowOfPath(videos() + huge + QStringLiteral(".mp4")));
    EXPECT_EQ(m_table.smallImage(hugeRow.imageIndex), MediaTableModel::placeholderSmall());
    EXPECT_EQ(m_table.largeImage(hugeRow.imageIndex), MediaTableModel::placeholderLarge());
    const MediaRow noneRow = m_table.rowAt(m_table.rowOfPath(videos() + none + QStringLiteral(".mp4")));
    EXPECT_EQ(m_table.largeImage(noneRow.imageIndex), MediaTableModel::placeholderLarge());
    // Images set by an insertion win over the files.
    QImage set(32, 32, QImage::Format_RGB32);
    set.fill(Qt::magenta);
    m_table.setImages(noneRow.imageIndex, set, set.scaled(16, 16));
    EXPECT_EQ(pixel(none, Qt::DecorationRole), QColor(Qt::magenta).rgb());
}

TEST_F(LibraryScanTest, ImageIndexesAreFoundIgnoringCaseAndTakenOnce)
{
    m_imagesIndexes.append({7, QStringLiteral("Clip")});
    m_imagesIndexes.append({9, QStringLiteral("clip")}); // a later duplicate never wins
    ImageIndexLookup lookup(*m_context);
    EXPECT_EQ(lookup.find(QStringLiteral("CLIP")), 7);
    EXPECT_EQ(lookup.find(QStringLiteral("other")), -1);
    // Appended by another taker after the lookup read the array: still found.
    m_imagesIndexes.append({11, QStringLiteral("Later")});
    EXPECT_EQ(lookup.find(QStringLiteral("later")), 11);

    // Two threads taking the same new bases get one index each.
    QStringList bases;
    for (int i = 0; i < 300; ++i)
        bases << QString::number(1700000000 + i);
    QHash<QString, qint32> first;
    QHash<QString, qint32> second;
    std::thread other([&] {
        ImageIndexLookup mine(*m_context);
        for (const QString& base : bases)
            second.insert(base, mine.take(base));
    });
    for (const QString& base : bases)
        first.insert(base, lookup.take(base));
    other.join();
    EXPECT_EQ(first, second);
    EXPECT_EQ(m_imagesIndexes.size(), 3 + bases.size());
}

TEST_F(LibraryScanTest, RequestsDuringAScanMergeIntoOne)
{
    for (int i = 0; i < 200; ++i)
        addFile(QString::number(m_now - i) + QStringLiteral(".mp4"), QStringLiteral("File %1").arg(i));
    ScanScheduler scheduler(*m_context);
    QSignalSpy finished(&scheduler, &ScanScheduler::scanFinished);
    scheduler.request({QStringLiteral("all"), {}});
    for (int i = 0; i < 5; ++i)
        scheduler.request({QStringLiteral("all"), QStringLiteral("File 1")});
    scheduler.waitForIdle();
    processShortly();
    EXPECT_LE(finished.count(), 2);
    ASSERT_GE(finished.count(), 1);
    EXPECT_EQ(finished.last().at(0).toInt(), 111) << "the newest filter decides the last scan";
    processUntil([&] { return m_table.rowCount() == 111; });
    EXPECT_EQ(m_table.rowCount(), 111);
}

} // namespace
