#include "ui/controls/SlideshowList.h"
#include "library/ScrollerList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SlideshowListTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("videos.xml"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(SlideshowListTest, ReadsEntriesResolvedAgainstTheListsFolder)
{
    const QString path = write("<slideshow>"
                               "<photo image=\"160x90\\1.jpg\" video=\"1.mp4\">00:00:05</photo>"
                               "<other/>"
                               "<photo video=\"2.mp3\">00:01:00<b>x</b></photo>"
                               "</slideshow>");
    const QList<SlideshowEntry> entries = SlideshowList::read(path);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].imagePath, QDir(m_dir.path()).absoluteFilePath(QStringLiteral("160x90/1.jpg")));
    EXPECT_EQ(entries[0].video, QStringLiteral("1.mp4"));
    EXPECT_EQ(entries[0].duration, QStringLiteral("00:00:05"));
    EXPECT_TRUE(entries[1].imagePath.isEmpty());
    EXPECT_EQ(entries[1].duration, QStringLiteral("00:01:00"));
}

TEST_F(SlideshowListTest, HostileListsAreBounded)
{
    // A list cut short keeps what came before the fault.
    EXPECT_EQ(SlideshowList::read(write("<slideshow><photo video=\"a\">1</photo><photo")).size(), 1);
    EXPECT_TRUE(SlideshowList::read(write("<gallery><photo video=\"a\"/></gallery>")).isEmpty());
    // No more entries than the writer ever keeps.
    QByteArray many = "<slideshow>";
    for (int i = 0; i < 5000; ++i)
        many += "<photo video=\"v.mp4\">00:00:01</photo>";
    many += "</slideshow>";
    ASSERT_LE(many.size(), ScrollerList::MaxFileBytes);
    EXPECT_EQ(SlideshowList::read(write(many)).size(), ScrollerList::MaxEntries);
    // A file far larger than any list is not read at all.
    const QByteArray huge =
        "<slideshow><photo video=\"v.mp4\">1</photo>" + QByteArray(ScrollerList::MaxFileBytes, ' ') + "</slideshow>";
    EXPECT_TRUE(SlideshowList::read(write(huge)).isEmpty());
    EXPECT_TRUE(SlideshowList::read(m_dir.filePath(QStringLiteral("missing.xml"))).isEmpty());
}

} // namespace
