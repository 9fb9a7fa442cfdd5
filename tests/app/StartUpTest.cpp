#include "app/StartUp.h"
#include "app/SingleInstance.h"
#include "base/AppPaths.h"
#include "base/Settings.h"
#include "library/TagStore.h"
#include "support/ChildHelper.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

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

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QString m_oldCurrent;
    CommandLine m_commandLine;
};

TEST_F(StartUpTest, FirstStartPreparesTheDataFolderAndTheSettings)
{
    StartUp startUp(m_commandLine);
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
        StartUp startUp(m_commandLine);
        ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
        EXPECT_EQ(contentOf(QStringLiteral("videos.xml")), existing);
    }
}

TEST_F(StartUpTest, LeftoversAreClearedButHeldTempFilesSurvive)
{
    makeFile(QStringLiteral("Temp/held.part1"));
    makeFile(QStringLiteral("Temp/free.part1"));
    makeFile(QStringLiteral("Temp/sub/inner"));
    for (const char* folder : {"TempRecords", "TempDownloads", "Screens"}) {
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/a.bin"));
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/.hidden"));
        makeFile(QString::fromLatin1(folder) + QStringLiteral("/sub/inner"));
    }
    makeFile(QStringLiteral("TempExport/kept.mp4"));

    // A real process holds one Temp file open.
    QProcess holder;
    holder.start(ChildHelper::path(), {QStringLiteral("hold:") + data(QStringLiteral("Temp/held.part1"))});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAll(), QByteArrayLiteral("holding\n"));

    StartUp startUp(m_commandLine);
    ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
    holder.kill();
    holder.waitForFinished(10000);

    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/held.part1"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("Temp/free.part1"))));
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/sub/inner"))));
    // Recordings stay for the importer: one the last run did not import yet is not lost.
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempRecords/a.bin"))));
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempRecords/.hidden"))));
    for (const char* folder : {"TempDownloads", "Screens"}) {
        const QString name = QString::fromLatin1(folder);
        EXPECT_FALSE(QFile::exists(data(name + QStringLiteral("/a.bin")))) << folder;
        EXPECT_FALSE(QFile::exists(data(name + QStringLiteral("/.hidden")))) << folder;
        EXPECT_TRUE(QFile::exists(data(name + QStringLiteral("/sub/inner")))) << folder;
    }
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("TempExport/kept.mp4"))));
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

    StartUp startUp(m_commandLine);
    ASSERT_EQ(startUp.run(), StartUp::Result::Ready);
    for (const Row& row : rows)
        EXPECT_EQ(QFile::exists(data(QStringLiteral("Videos/") + QString::fromLatin1(row.name))), row.kept) << row.name;
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Videos/folder.mp4/inner"))));
}

TEST_F(StartUpTest, ASecondStartAsksTheFirstToShowItself)
{
    StartUp first(m_commandLine);
    ASSERT_EQ(first.run(), StartUp::Result::Ready);
    QSignalSpy shown(first.singleInstance(), &SingleInstance::showRequested);

    makeFile(QStringLiteral("Temp/free.part1"));
    StartUp second(m_commandLine);
    EXPECT_EQ(second.run(), StartUp::Result::SecondInstance);
    EXPECT_EQ(second.singleInstance(), nullptr);
    EXPECT_TRUE(shown.wait(10000));
    // A second start cleans nothing up: the first instance's files are in use.
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("Temp/free.part1"))));

    // Another data folder is another instance.
    CommandLine other = m_commandLine;
    other.dataDir = m_dir.filePath(QStringLiteral("other"));
    StartUp third(other);
    EXPECT_EQ(third.run(), StartUp::Result::Ready);
}

} // namespace
