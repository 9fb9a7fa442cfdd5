// Base names: the first free second, taken one at a time by concurrent downloads, and what on
// disk keeps a second from being used again.
#include "model/BaseNames.h"

#include "base/AppPaths.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

VideoFile recordWithBase(qint64 base)
{
    VideoFile record;
    record.baseName = QString::number(base);
    return record;
}

TEST(BaseNamesTest, TakesTheFirstFreeSecond)
{
    const qint64 now = 1700000000;
    struct Row
    {
        QList<qint64> taken;
        qint64 expected;
    };
    const QList<Row> rows = [&] {
        QList<qint64> hundred;
        for (int i = 0; i < 100; ++i)
            hundred << now + i;
        QList<qint64> hundredAndMore = hundred;
        hundredAndMore << now + 100 << now + 101;
        return QList<Row>{
            {{}, now},
            {{now}, now + 1},
            {{now, now + 1, now + 3}, now + 2},
            {{now - 1, now + 5}, now},
            // All hundred described tries are taken: the search goes on instead of sharing a name.
            {hundred, now + 100},
            {hundredAndMore, now + 102},
        };
    }();
    for (const Row& row : rows) {
        QList<VideoFile> records;
        for (qint64 base : row.taken)
            records << recordWithBase(base);
        EXPECT_EQ(BaseNames::firstFree(records, now), QString::number(row.expected)) << row.taken.size();
    }
}

TEST(BaseNamesTest, DownloadsInTheSameSecondGetConsecutiveBases)
{
    ManualClock clock(1700000000);
    VideoFileArray array;
    EXPECT_EQ(BaseNames::appendWithNewBaseName(array, VideoFile{}, clock), 0);
    EXPECT_EQ(BaseNames::appendWithNewBaseName(array, VideoFile{}, clock), 1);
    clock.advance(5);
    BaseNames::appendWithNewBaseName(array, VideoFile{}, clock);
    EXPECT_EQ(array.at(0)->baseName, QStringLiteral("1700000000"));
    EXPECT_EQ(array.at(1)->baseName, QStringLiteral("1700000001"));
    EXPECT_EQ(array.at(2)->baseName, QStringLiteral("1700000005"));
}

TEST(BaseNamesTest, ThreadsNeverShareABase)
{
    ManualClock clock(1700000000);
    VideoFileArray array;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                BaseNames::appendWithNewBaseName(array, VideoFile{}, clock);
        });
    for (std::thread& thread : threads)
        thread.join();
    QSet<QString> bases;
    for (const VideoFile& record : array.snapshot())
        bases.insert(record.baseName);
    EXPECT_EQ(bases.size(), 200);
}

TEST(BaseNamesTest, ImageIndexLookupIgnoresCaseAndTakesTheFirstMatch)
{
    ImagesIndexArray array;
    array.append({4, QStringLiteral("00")});
    array.append({7, QStringLiteral("Clip")});
    array.append({9, QStringLiteral("clip")});
    EXPECT_EQ(BaseNames::imageIndexOf(array, QStringLiteral("CLIP")), 7);
    EXPECT_EQ(BaseNames::imageIndexOf(array, QStringLiteral("00")), 4);
    EXPECT_EQ(BaseNames::imageIndexOf(array, QStringLiteral("0")), -1);
    EXPECT_EQ(BaseNames::imageIndexOf(ImagesIndexArray{}, QStringLiteral("x")), -1);
}

// Whatever carries the base in the library or its picture folders takes it, under any
// extension; a longer base, another folder or a picture of the wrong kind does not.
TEST(BaseNamesTest, TakenOnDiskByTheLibraryAndItsPicturesOnly)
{
    using AppPaths::Folder;
    struct Row
    {
        Folder folder;
        const char* name;
        bool taken;
    };
    const QList<Row> rows{
        {Folder::Videos, "1700000000.mp4", true},      {Folder::Videos, "1700000000.part.mkv", true},
        {Folder::Videos, "1700000000", true},          {Folder::Videos, "17000000001.mp4", false},
        {Folder::Videos, "1700000000x.mp4", false},    {Folder::Videos, "x1700000000.mp4", false},
        {Folder::Screens, "1700000000.bmp", true},     {Folder::Icons32, "1700000000.bmp", true},
        {Folder::Icons16, "1700000000.bmp", true},     {Folder::Thumbnails, "1700000000.jpg", true},
        {Folder::Thumbnails, "1700000000.bmp", false}, {Folder::Screens, "1700000000.jpg", false},
        {Folder::Temp, "1700000000.mp4", false},       {Folder::TempDownloads, "1700000000.mp4", false},
    };
    for (const Row& row : rows) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        AppPaths::setDataDir(dir.path());
        const QString folder = AppPaths::folder(row.folder);
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile file(folder + QLatin1String(row.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_EQ(BaseNames::takenOnDisk(QStringLiteral("1700000000")), row.taken)
            << AppPaths::folderName(row.folder).toStdString() << "/" << row.name;
        // An empty base is never free.
        EXPECT_TRUE(BaseNames::takenOnDisk(QString()));
    }
}

} // namespace
