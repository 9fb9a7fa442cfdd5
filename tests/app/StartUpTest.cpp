#include "app/StartUp.h"
#include "app/SingleInstance.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "library/LibraryContext.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"
#include "support/ChildHelper.h"
#include "support/ManualClock.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class StartUpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        m_oldCurrent = QDir::currentPath();
        m_commandLine.dataDir = m_dir.filePath(QStringLiteral("data"));
    }

    void TearDown() override
    {
        QDir::setCurrent(m_oldCurrent);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString data(const QString& relative) const { return m_commandLine.dataDir + QLatin1Char('/') + relative; }

    void makeFile(const QString& relative, const QByteArray& content = "x") const
    {
        QDir().mkpath(QFileInfo(data(relative)).path());
        QFile file(data(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QByteArray contentOf(const QString& relative) const
    {
        QFile file(data(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList entriesOf(const QString& relative) const
    {
        return QDir(data(relative)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QString m_oldCurrent;
    CommandLine m_commandLine;
    MediaTableModel m_table;
    ImagesIndexArray m_imagesIndexes;
    MP3FileArray m_mp3Files;
    VideoFileArray m_videoFiles;
    ManualClock m_clock{1700000000};
    LibraryContext m_library{m_table, m_imagesIndexes, m_mp3Files, m_videoFiles, &m_clock};
};

TEST_F(StartUpTest, FirstStartPreparesTheDataFolderAndTheSettings)
{
    StartUp startUp(m_commandLine, m_library);
    ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
    EXPECT_EQ(QDir::currentPath(), QDir(m_commandLine.dataDir).absolutePath());
    EXPECT_EQ(AppPaths::dataDir(), m_commandLine.dataDir + QLatin1Char('/'));
    EXPECT_EQ(contentOf(QStringLiteral("videos.xml")), QByteArrayLiteral("<slideshow />"));
    for (const char* folder :
         {"16x16", "32x32", "160x90", "FavIcons", "Screens", "Videos", "Temp", "TempExport", "TempRecords"})
        EXPECT_TRUE(QFileInfo(data(QString::fromLatin1(folder))).isDir()) << folder;
    EXPECT_FALSE(QFileInfo::exists(data(QStringLiteral("TempDownloads"))));
    ASSERT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf"))));
    EXPECT_EQ(Settings::instance().path(), m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf")));
    EXPECT_TRUE(Settings::instance().flag(QStringLiteral("mp4")));
    EXPECT_EQ(Settings::instance().volume(), 100);
}

TEST_F(StartUpTest, AnExistingSlideshowListIsNeverTouched)
{
    for (const QByteArray& existing :
         {QByteArray(), QByteArrayLiteral("broken <"),
          QByteArrayLiteral("<slideshow><photo image=\"a\" video=\"b\">c</photo></slideshow>")}) {
        makeFile(QStringLiteral("videos.xml"), existing);
        StartUp startUp(m_commandLine, m_library);
        ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
        EXPECT_EQ(contentOf(QStringLiteral("videos.xml")), existing);
    }
}

TEST_F(StartUpTest, LeftoversAreClearedButHeldTempFilesSurvive)
{
    makeFile(QStringLiteral("Temp/held.part1"));
    makeFile(QStringLiteral("Temp/free.part1"));
    makeFile(QStringLiteral("Temp/sub/inner"));
    for (const char* folder : {"TempRecords", "Screens"}) {
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/a.bin"));
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/.hidden"));
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/sub/inner"));
    }
    makeFile(QStringLiteral("TempExport/old.mp4"));

    // A real process holds one Temp file open.
    QProcess holder;
    holder.start(ChildHelper::path(), {QStringLiteral("hold:") + data(QStringLiteral("Temp/held.part1"))});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAll(), QByteArrayLiteral("holding\n"));

    StartUp startUp(m_commandLine, m_library);
    ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
    holder.kill();
    holder.waitForFinished(10000);

    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/held.part1"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("Temp/free.part1"))));
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/sub/inner"))));
    // Recordings stay for the importer: one the last run did not import yet is not lost.
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempRecords/a.bin"))));
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempRecords/.hidden"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("Screens/a.bin"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("Screens/.hidden"))));
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Screens/sub/inner"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("TempExport/old.mp4")))) << "drag copies of the last run go";
}

TEST(StartUpNames, UnfinishedLinkDownloadWork)
{
    const std::pair<const char*, bool> names[] = {
        {"clip~ab12.mp4", false},
        {"song - Only Audio~ab12.mp3", false},
        {"a.temp.part.ytdl title~ab12.mp4", false}, // the words are the title's
        {"no mark.mkv", false},
        {"clip~ab12.mp4.part", true},
        {"clip~ab12.mp4.PART", true},
        {"clip~ab12.mp4.part-Frag12", true},
        {"clip~ab12.mp4.ytdl", true},
        {"clip~ab12.temp.mp4", true},
        {"no mark.temp.mkv", true},
        {".partial-ab12", true},
        {".hidden.mp4", true},
    };
    for (const auto& [name, unfinished] : names)
        EXPECT_EQ(StartUp::isUnfinishedLinkDownload(QString::fromUtf8(name)), unfinished) << name;
}

TEST_F(StartUpTest, FinishedLinkDownloadsEnterTheLibraryAndUnfinishedWorkGoes)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is needed to make and read the downloads");
    QDir().mkpath(data(QStringLiteral("TempDownloads/sub")));
    QDir().mkpath(data(QStringLiteral("TempDownloads/.partial-ee55")));
    ASSERT_TRUE(MediaFixture::makeClip(data(QStringLiteral("TempDownloads/clip~aa11.mp4")), 1));
    ASSERT_TRUE(MediaFixture::makeClip(data(QStringLiteral("TempDownloads/song - Only Audio~bb22.mp3")), 1, false));
    const QByteArray clip = contentOf(QStringLiteral("TempDownloads/clip~aa11.mp4"));
    const QByteArray song = contentOf(QStringLiteral("TempDownloads/song - Only Audio~bb22.mp3"));
    // Readable media under names of unfinished work is still unfinished work.
    for (const char* name : {"clip~dd44.mp4.part", "clip~dd44.temp.mp4", "clip~dd44.mp4.part-Frag2", ".hidden~ff66.mp4",
                             ".partial-ee55/clip~ee55.mp4"})
        makeFile(QStringLiteral("TempDownloads/") + QString::fromLatin1(name), clip);
    makeFile(QStringLiteral("TempDownloads/clip~dd44.mp4.ytdl"), "{}");
    makeFile(QStringLiteral("TempDownloads/broken~cc33.mp4"), "not a video");
    makeFile(QStringLiteral("TempDownloads/sub/inner"));
    // The base of this second is a library file already: the first download takes the next.
    makeFile(QStringLiteral("Videos/1700000000.mp4"), "library file");

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "first start" : "second start");
        StartUp startUp(m_commandLine, m_library);
        ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_table.rowCount() >= 2; }, 5000));
        // A file without media streams stays: it may be the only copy of a download.
        EXPECT_EQ(entriesOf(QStringLiteral("TempDownloads")),
                  (QStringList{QStringLiteral("broken~cc33.mp4"), QStringLiteral("sub")}));
        EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempDownloads/sub/inner"))));
        // Each file once in the library, none replaced.
        EXPECT_EQ(QDir(data(QStringLiteral("Videos"))).entryList({QStringLiteral("*.mp4"), QStringLiteral("*.mp3")}),
                  (QStringList{QStringLiteral("1700000000.mp4"), QStringLiteral("1700000001.mp4"),
                               QStringLiteral("1700000002.mp3")}));
        EXPECT_EQ(contentOf(QStringLiteral("Videos/1700000000.mp4")), QByteArray("library file"));
        EXPECT_TRUE(contentOf(QStringLiteral("Videos/1700000001.mp4")) == clip);
        EXPECT_TRUE(contentOf(QStringLiteral("Videos/1700000002.mp3")) == song);
        EXPECT_EQ(m_table.rowCount(), 2);
    }
    EXPECT_EQ(TagStore::read(data(QStringLiteral("Videos/1700000001.mp4")), QStringLiteral("title")),
              QStringLiteral("clip"));
    EXPECT_EQ(TagStore::read(data(QStringLiteral("Videos/1700000002.mp3")), QStringLiteral("title")),
              QStringLiteral("song - Only Audio"));
}

TEST_F(StartUpTest, WithoutFfmpegAFinishedDownloadStays)
{
    // No tool could read it, so nothing says it is broken: it waits for a later start.
    makeFile(QStringLiteral("TempDownloads/clip~aa11.mp4"), "maybe a video");
    makeFile(QStringLiteral("TempDownloads/clip~aa11.mp4.part"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.path()));
    {
        StartUp startUp(m_commandLine, m_library);
        EXPECT_EQ(startUp.run(), StartUp::Result::Ready);
    }
    qputenv("PATH", path);
    EXPECT_EQ(entriesOf(QStringLiteral("TempDownloads")), QStringList{QStringLiteral("clip~aa11.mp4")});
    EXPECT_EQ(contentOf(QStringLiteral("TempDownloads/clip~aa11.mp4")), QByteArray("maybe a video"));
    EXPECT_EQ(m_table.rowCount(), 0);
}

TEST_F(StartUpTest, LibraryFilesMarkedForDeletionGo)
{
    AppPaths::setDataDir(m_commandLine.dataDir);
    struct Row
    {
        const char* name;
        const char* title; // nullptr: no title tag
        bool marked;       // deleted by the user
        bool inSidecar;
        bool kept;
    };
    // Only the mark deletes: a page title that spells it is only a title.
    const Row rows[] = {
        {"1.mp4", nullptr, true, false, false},           {"2.mp4", "Holiday clip", true, true, false},
        {"3.mp4", "InOrderToDelete", false, false, true}, {"4.mp4", "Holiday InOrderToDelete clip", false, true, true},
        {"5.mp4", "Holiday clip", false, false, true},    {"6.mp4", nullptr, false, false, true},
    };
    for (const Row& row : rows) {
        const QString path = data(QStringLiteral("Videos/") + QString::fromLatin1(row.name));
        makeFile(QStringLiteral("Videos/") + QString::fromLatin1(row.name));
        TagStore::setExtendedAttributesEnabled(!row.inSidecar);
        if (row.title) {
            ASSERT_TRUE(TagStore::write(path, QStringLiteral("title"), QString::fromLatin1(row.title)));
        }
        if (row.marked) {
            ASSERT_TRUE(TagStore::markForDeletion(path));
        }
    }
    TagStore::setExtendedAttributesEnabled(true);
    makeFile(QStringLiteral("Videos/folder.mp4/inner"));

    StartUp startUp(m_commandLine, m_library);
    ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
    for (const Row& row : rows)
        EXPECT_EQ(QFile::exists(data(QStringLiteral("Videos/") + QString::fromLatin1(row.name))), row.kept) << row.name;
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Videos/folder.mp4/inner"))));
}

TEST_F(StartUpTest, ASecondStartAsksTheFirstToShowItself)
{
    StartUp first(m_commandLine, m_library);
    ASSERT_EQ(first.run(), StartUp::Result::Ready);
    QSignalSpy shown(first.singleInstance(), &SingleInstance::showRequested);

    makeFile(QStringLiteral("Temp/free.part1"));
    StartUp second(m_commandLine, m_library);
    EXPECT_EQ(second.run(), StartUp::Result::SecondInstance);
    EXPECT_EQ(second.singleInstance(), nullptr);
    EXPECT_TRUE(shown.wait(10000));
    // A second start cleans nothing up: the first instance's files are in use.
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/free.part1"))));

    // Another data folder is another instance.
    CommandLine other = m_commandLine;
    other.dataDir = m_dir.filePath(QStringLiteral("other"));
    StartUp third(other, m_library);
    EXPECT_EQ(third.run(), StartUp::Result::Ready);
}

} // namespace
