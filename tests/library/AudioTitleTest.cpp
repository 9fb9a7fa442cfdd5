#include "LibraryFixture.h"

#include "base/AppPaths.h"
#include "library/AudioTitle.h"
#include "library/LibraryFormat.h"

#include <QFile>

namespace {

class AudioTitleTest : public LibraryFixture
{
};

TEST_F(AudioTitleTest, NamesComeFromTheTagOrTheMetadataDump)
{
    struct Case
    {
        const char* name;
        QStringList extra;
        QString expected;
        int ffmpegRuns; // the dump is the only ffmpeg run the audio title may start
    };
    const QList<Case> cases = {
        {"ID3v2.3 latin-1 artist and title",
         {QStringLiteral("-id3v2_version"), QStringLiteral("3"), QStringLiteral("-metadata"),
          QStringLiteral("title=Song"), QStringLiteral("-metadata"), QStringLiteral("artist=Band")},
         QStringLiteral("Band - Song"),
         0},
        {"UTF-16 frames fall to the dump",
         {QStringLiteral("-id3v2_version"), QStringLiteral("3"), QStringLiteral("-metadata"),
          QStringLiteral("title=Песня"), QStringLiteral("-metadata"), QStringLiteral("artist=Группа")},
         QStringLiteral("Группа - Песня"),
         1},
        {"ID3v2.4 (UTF-8 frames) title only",
         {QStringLiteral("-id3v2_version"), QStringLiteral("4"), QStringLiteral("-metadata"),
          QStringLiteral("title=Alone")},
         QStringLiteral("Alone"),
         1},
        {"no names at all", {QStringLiteral("-write_id3v2"), QStringLiteral("0")}, QStringLiteral("MP3-файл от "), 1},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = videos() + QString::number(++index) + QStringLiteral(".mp3");
        makeAudio(path, 1, c.extra);
        resetFfmpegRuns();
        EXPECT_EQ(AudioTitle::read(path), c.expected);
        EXPECT_EQ(ffmpegRuns(), c.ffmpegRuns);
    }
}

TEST_F(AudioTitleTest, NamelessCacheMusicGetsItsCacheTime)
{
    const QString path = videos() + QStringLiteral("1700000000.mp3");
    makeAudio(path, 1, {QStringLiteral("-write_id3v2"), QStringLiteral("0")});
    MP3File record;
    record.libraryPath = path;
    record.fileTime = QDateTime::fromSecsSinceEpoch(1700000000);
    m_mp3Files.append(record);
    EXPECT_EQ(AudioTitle::read(path, &m_mp3Files),
              QStringLiteral("MP3-файл от ") + LibraryFormat::captureTime(record.fileTime));
}

TEST_F(AudioTitleTest, AnOldDumpNeverNamesAnotherFile)
{
    QFile stale(AppPaths::file(QStringLiteral("MetaFile.txt")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(";FFMETADATA1\ntitle=Stale\n");
    stale.close();
    // Not a media file: ffmpeg writes no dump for it.
    const QString path = videos() + QStringLiteral("broken.mp3");
    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not audio");
    broken.close();
    EXPECT_EQ(AudioTitle::read(path), QStringLiteral("MP3-файл от "));
    EXPECT_EQ(AudioTitle::read(videos() + QStringLiteral("missing.mp3")), QStringLiteral("MP3-файл от "));
}

} // namespace
