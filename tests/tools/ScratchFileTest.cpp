// Scratch files of the converter and the cutter: exclusive names, moves that never replace, and
// the clean-up that tells a killed run's file (no lock) from a running job's (locked).
#include "tools/ScratchFile.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ScratchFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray read(const QString& fullPath) const
    {
        QFile file(fullPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList entries() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_dir;
};

TEST_F(ScratchFileTest, EachJobGetsItsOwnNameAndNoFileIsTakenOver)
{
    // What the converter once used as its scratch name is a user's file here.
    write(QStringLiteral("Clip.part.mp4"), "user's own");
    const QString output = path(QStringLiteral("Clip.mp4"));
    ScratchFile first(output, ScratchFile::Kind::Converting);
    ScratchFile second(output, ScratchFile::Kind::Converting);
    ASSERT_TRUE(first.valid());
    ASSERT_TRUE(second.valid());
    EXPECT_NE(first.path(), second.path());
    EXPECT_TRUE(QFileInfo(first.path()).fileName().startsWith(QLatin1String(".part-")));
    EXPECT_TRUE(first.path().endsWith(QLatin1String("-Clip.mp4"))) << "ffmpeg picks the container by the extension";
    ScratchFile cutting(output, ScratchFile::Kind::Cutting);
    EXPECT_TRUE(QFileInfo(cutting.path()).fileName().startsWith(QLatin1String(".cutting-")));
    EXPECT_LE(QFileInfo(cutting.path()).fileName().size(),
              QStringLiteral("Clip.mp4").size() + ScratchFile::NameOverheadBytes);
    EXPECT_EQ(read(path(QStringLiteral("Clip.part.mp4"))), QByteArray("user's own"));
}

TEST_F(ScratchFileTest, MovesNeverReplaceAFileThatIsThere)
{
    write(QStringLiteral("Song.mp3"), "earlier");
    write(QStringLiteral("Song (2).mp3"), "earlier too");
    const QString output = path(QStringLiteral("Song.mp3"));
    {
        ScratchFile scratch(output, ScratchFile::Kind::Cutting);
        ASSERT_TRUE(scratch.valid());
        QFile file(scratch.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("new");
        file.close();
        EXPECT_EQ(scratch.moveIn(output), path(QStringLiteral("Song (3).mp3")));
    }
    EXPECT_EQ(read(output), QByteArray("earlier"));
    EXPECT_EQ(read(path(QStringLiteral("Song (2).mp3"))), QByteArray("earlier too"));
    EXPECT_EQ(read(path(QStringLiteral("Song (3).mp3"))), QByteArray("new"));

    // A link that points nowhere still holds its name.
    ASSERT_EQ(::symlink("/nowhere", QFile::encodeName(path(QStringLiteral("Link.mp3"))).constData()), 0);
    ScratchFile linked(path(QStringLiteral("Link.mp3")), ScratchFile::Kind::Cutting);
    EXPECT_EQ(linked.moveIn(path(QStringLiteral("Link.mp3"))), path(QStringLiteral("Link (2).mp3")));
}

TEST_F(ScratchFileTest, ReplacesOnlyTheFileTheUserAgreedTo)
{
    write(QStringLiteral("Out.webm"), "old output");
    struct stat agreed
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path(QStringLiteral("Out.webm"))).constData(), &agreed), 0);
    {
        ScratchFile scratch(path(QStringLiteral("Out.webm")), ScratchFile::Kind::Converting);
        EXPECT_EQ(scratch.moveOver(path(QStringLiteral("Out.webm")), agreed), path(QStringLiteral("Out.webm")));
    }
    EXPECT_EQ(read(path(QStringLiteral("Out.webm"))), QByteArray());

    // Another file took the name after the question: it stays.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("Out.webm"))));
    QThread::msleep(20); // a new file may reuse the inode number, but it is made later
    write(QStringLiteral("Out.webm"), "appeared meanwhile");
    ScratchFile scratch(path(QStringLiteral("Out.webm")), ScratchFile::Kind::Converting);
    EXPECT_EQ(scratch.moveOver(path(QStringLiteral("Out.webm")), agreed), path(QStringLiteral("Out (2).webm")));
    EXPECT_EQ(read(path(QStringLiteral("Out.webm"))), QByteArray("appeared meanwhile"));
}

TEST_F(ScratchFileTest, AnUnmovedScratchFileGoesWithItsJob)
{
    QString made;
    {
        ScratchFile scratch(path(QStringLiteral("Gone.mp4")), ScratchFile::Kind::Converting);
        made = scratch.path();
        EXPECT_TRUE(QFileInfo::exists(made));
    }
    EXPECT_FALSE(QFileInfo::exists(made));
    EXPECT_TRUE(entries().isEmpty()) << qPrintable(entries().join(u' '));
}

TEST_F(ScratchFileTest, StaleCleanUpRemovesOnlyUnownedScratchNames)
{
    ScratchFile running(path(QStringLiteral("Running.mp4")), ScratchFile::Kind::Converting);
    ASSERT_TRUE(running.valid());
    // What a killed run left: the name without anyone's lock.
    write(QStringLiteral(".part-Ab12Cd-Killed.mp4"), "partial");
    write(QStringLiteral(".cutting-Zz99Yy-Fragment of x.mkv"), "partial");
    // The user's files, some of them close to the form.
    const QStringList users{QStringLiteral("Killed.part.mp4"), QStringLiteral(".part-short-x.mp4"),
                            QStringLiteral("part-Ab12Cd-x.mp4"), QStringLiteral(".partial-Ab12Cd-x.mp4"),
                            QStringLiteral(".cutting-Ab12C-x.mp4")};
    for (const QString& name : users)
        write(name, "mine");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral(".part-Fifo00-x.mp4"))).constData(), 0600), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(path(QStringLiteral("Killed.part.mp4"))).constData(),
                        QFile::encodeName(path(QStringLiteral(".part-Link00-x.mp4"))).constData()),
              0);

    EXPECT_EQ(ScratchFile::removeStale(m_dir.path()), 2);
    EXPECT_TRUE(QFileInfo::exists(running.path())) << "a running job's file is locked";
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral(".part-Ab12Cd-Killed.mp4"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral(".cutting-Zz99Yy-Fragment of x.mkv"))));
    for (const QString& name : users)
        EXPECT_EQ(read(path(name)), QByteArray("mine")) << qPrintable(name);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral(".part-Fifo00-x.mp4"))).exists()) << "not a file of ours";
    EXPECT_TRUE(QFileInfo(path(QStringLiteral(".part-Link00-x.mp4"))).isSymLink()) << "not a file of ours";
    EXPECT_EQ(read(path(QStringLiteral("Killed.part.mp4"))), QByteArray("mine"));
    EXPECT_EQ(ScratchFile::removeStale(path(QStringLiteral("no such folder"))), 0);
}

} // namespace
