#include "base/AppPaths.h"
#include "library/DerivedFiles.h"
#include "library/ScrollerList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tinyxml2.h>

namespace {

class ScrollerListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        AppPaths::setDataDir(m_dir.path());
    }

    QByteArray bytes() const
    {
        QFile file(m_list.path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeList(const QByteArray& content) const
    {
        QFile file(m_list.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // (image, video, text) of every photo in document order.
    QStringList photos() const
    {
        tinyxml2::XMLDocument document;
        const QByteArray content = bytes();
        if (document.Parse(content.constData(), static_cast<size_t>(content.size())) != tinyxml2::XML_SUCCESS)
            return {QStringLiteral("<unparsable>")};
        QStringList result;
        for (auto* photo = document.RootElement()->FirstChildElement("photo"); photo;
             photo = photo->NextSiblingElement("photo"))
            result << QString::fromUtf8(photo->Attribute("image")) + QLatin1Char('|') +
                          QString::fromUtf8(photo->Attribute("video")) + QLatin1Char('|') +
                          QString::fromUtf8(photo->GetText() ? photo->GetText() : "");
        return result;
    }

    QTemporaryDir m_dir;
    ScrollerList m_list{m_dir.filePath(QStringLiteral("videos.xml"))};
};

TEST_F(ScrollerListTest, ReadsEntriesResolvedAgainstTheListsFolder)
{
    writeList("<slideshow>"
              "<photo image=\"160x90\\1.jpg\" video=\"1.mp4\">00:00:05</photo>"
              "<other/>"
              "<photo video=\"2.mp3\">00:01:00<b>x</b></photo>"
              "</slideshow>");
    const QList<ScrollerList::Entry> entries = m_list.entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].imagePath, QDir(m_dir.path()).absoluteFilePath(QStringLiteral("160x90/1.jpg")));
    EXPECT_EQ(entries[0].video, QStringLiteral("1.mp4"));
    EXPECT_EQ(entries[0].duration, QStringLiteral("00:00:05"));
    EXPECT_TRUE(entries[1].imagePath.isEmpty());
    EXPECT_EQ(entries[1].duration, QStringLiteral("00:01:00"));
}

TEST_F(ScrollerListTest, HostileListsAreReadWithinBounds)
{
    struct Row
    {
        const char* what;
        QByteArray content; // empty: no file
        qsizetype entries;
    };
    QByteArray many = "<slideshow>";
    for (int i = 0; i < 5000; ++i)
        many += "<photo video=\"v.mp4\">00:00:01</photo>";
    many += "</slideshow>";
    ASSERT_LE(many.size(), ScrollerList::MaxFileBytes);
    const Row rows[] = {
        {"a list cut short keeps what came before the fault", "<slideshow><photo video=\"a\">1</photo><photo", 1},
        {"another root", "<gallery><photo video=\"a\"/></gallery>", 0},
        {"no more entries than the writer ever keeps", many, ScrollerList::MaxEntries},
        {"a file far larger than any list is not read",
         "<slideshow><photo video=\"v.mp4\">1</photo>" + QByteArray(ScrollerList::MaxFileBytes, ' ') + "</slideshow>",
         0},
        {"no file", {}, 0},
    };
    for (const Row& row : rows) {
        QFile::remove(m_list.path());
        if (!row.content.isEmpty())
            writeList(row.content);
        EXPECT_EQ(m_list.entries().size(), row.entries) << row.what;
    }
}

TEST_F(ScrollerListTest, CreatedWithExactlyTheEmptyRootAndOnlyWhenMissing)
{
    EXPECT_TRUE(m_list.createIfMissing());
    EXPECT_EQ(bytes(), QByteArrayLiteral("<slideshow />"));
    for (const QByteArray& existing : {QByteArray(), QByteArrayLiteral("not xml at all")}) {
        writeList(existing);
        EXPECT_FALSE(m_list.createIfMissing());
        EXPECT_EQ(bytes(), existing);
    }
}

TEST_F(ScrollerListTest, NewEntriesComeFirstAndTheListKeepsAHundred)
{
    ASSERT_TRUE(m_list.createIfMissing());
    for (int i = 0; i < 101; ++i)
        ASSERT_TRUE(m_list.addEntry(QString::number(1700000000 + i), QStringLiteral("%1.mp4").arg(1700000000 + i),
                                    QStringLiteral("00:00:%1.25").arg(i % 60, 2, 10, QLatin1Char('0'))));
    const QStringList entries = photos();
    ASSERT_EQ(entries.size(), ScrollerList::MaxEntries);
    EXPECT_EQ(entries.first(), QStringLiteral("160x90/1700000100.jpg|1700000100.mp4|00:00:40"));
    // What the writer leaves, the reader shows in the same order.
    const QList<ScrollerList::Entry> read = m_list.entries();
    ASSERT_EQ(read.size(), ScrollerList::MaxEntries);
    EXPECT_EQ(read.first().video, QStringLiteral("1700000100.mp4"));
    EXPECT_EQ(read.first().imagePath, m_dir.filePath(QStringLiteral("160x90/1700000100.jpg")));
    // The oldest entry went first.
    EXPECT_EQ(entries.last(), QStringLiteral("160x90/1700000001.jpg|1700000001.mp4|00:00:01"));
}

TEST_F(ScrollerListTest, AnOverlongHandEditedListIsCutBackToAHundred)
{
    QByteArray content = "<slideshow>";
    for (int i = 0; i < 120; ++i)
        content += "<photo image=\"160x90\\" + QByteArray::number(i) + ".jpg\" video=\"v.mp4\">00:00:01</photo>";
    writeList(content + "</slideshow>");
    ASSERT_TRUE(m_list.addEntry(QStringLiteral("1700000000"), QStringLiteral("1700000000.flv"), QStringLiteral("n/a")));
    const QStringList entries = photos();
    ASSERT_EQ(entries.size(), ScrollerList::MaxEntries);
    EXPECT_EQ(entries.first(), QStringLiteral("160x90/1700000000.jpg|1700000000.flv|n/a"));
    EXPECT_EQ(entries.last(), QStringLiteral("160x90\\98.jpg|v.mp4|00:00:01"));
}

TEST_F(ScrollerListTest, ABrokenListStaysUnchanged)
{
    for (const QByteArray& broken :
         {QByteArray(), QByteArrayLiteral("<slideshow><photo"), QByteArrayLiteral("<gallery />"),
          // Lists the scroller's strict reader refuses: text outside the root, bytes not UTF-8.
          QByteArrayLiteral("junk<slideshow />"),
          QByteArrayLiteral("<slideshow><photo video=\"\x9d.mp4\"/></slideshow>"),
          QByteArrayLiteral("<slideshow>") + QByteArray(ScrollerList::MaxFileBytes, ' ') +
              QByteArrayLiteral("</slideshow>")}) {
        writeList(broken);
        EXPECT_FALSE(m_list.addEntry(QStringLiteral("1"), QStringLiteral("1.mp4"), QStringLiteral("00:00:01.00")));
        EXPECT_EQ(m_list.removeEntriesFor(QStringLiteral("1")), 0);
        EXPECT_EQ(bytes(), broken);
    }
}

TEST_F(ScrollerListTest, RemovalMatchesTheWholeBaseOnly)
{
    writeList("<slideshow>"
              "<photo image=\"160x90\\1700000000.jpg\" video=\"1700000000.mp4\">00:00:01</photo>"
              "<photo image=\"160x90/0.jpg\" video=\"0.mp4\">00:00:02</photo>"
              "<photo image=\"160x90/1700000001.jpg\" video=\"1700000001.mp4\">00:00:03</photo>"
              "<photo image=\"160x90/1700000000.jpg\" video=\"1700000000.mp4\">00:00:04</photo>"
              "</slideshow>");
    // "0" and "1" are contained in every other entry's image; they must not take those with them.
    EXPECT_EQ(m_list.removeEntriesFor(QStringLiteral("1")), 0);
    EXPECT_EQ(m_list.removeEntriesFor(QString()), 0);
    EXPECT_EQ(m_list.removeEntriesFor(QStringLiteral("0")), 1);
    EXPECT_EQ(m_list.removeEntriesFor(QStringLiteral("1700000000")), 2);
    EXPECT_EQ(photos(), QStringList{QStringLiteral("160x90/1700000001.jpg|1700000001.mp4|00:00:03")});
}

TEST_F(ScrollerListTest, DeletingALibraryFileTakesItsPicturesButNotItsStillFrame)
{
    const QString base = QStringLiteral("1700000000");
    const QStringList derived{QStringLiteral("16x16/%1.bmp"), QStringLiteral("32x32/%1.bmp"),
                              QStringLiteral("160x90/%1.jpg")};
    const QStringList kept{QStringLiteral("Screens/%1.bmp"), QStringLiteral("Videos/%1.mp4"),
                           QStringLiteral("16x16/1700000001.bmp")};
    for (const QString& pattern : derived + kept) {
        const QString path = m_dir.filePath(pattern.arg(base));
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(m_list.addEntry(QStringLiteral("1700000001"), QStringLiteral("1700000001.mp4"), QStringLiteral("x")));
    ASSERT_TRUE(m_list.addEntry(base, base + QStringLiteral(".mp4"), QStringLiteral("x")));

    EXPECT_TRUE(DerivedFiles::remove(AppPaths::folder(AppPaths::Folder::Videos) + base + QStringLiteral(".mp4")));
    for (const QString& pattern : derived)
        EXPECT_FALSE(QFile::exists(m_dir.filePath(pattern.arg(base)))) << qPrintable(pattern);
    for (const QString& pattern : kept)
        EXPECT_TRUE(QFile::exists(m_dir.filePath(pattern.arg(base)))) << qPrintable(pattern);
    EXPECT_EQ(photos(), QStringList{QStringLiteral("160x90/1700000001.jpg|1700000001.mp4|x")});
    // Deleting again finds nothing to delete and is no error.
    EXPECT_TRUE(DerivedFiles::remove(base + QStringLiteral(".mp4")));
}

TEST(DerivedFilesTest, BaseOfANameOrPath)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/data/Trawlix/Videos/1700000000.mp4", "1700000000"},
        {"Videos/1700000000.mp4", "1700000000"},
        {"Videos\\1700000000.mp4", "1700000000"},
        {"1700000000.mp4.part", "1700000000"},
        {"00.mp4", "00"},
        {"noextension", "noextension"},
        {".hidden", ""},
        {"", ""},
    };
    for (const auto& [input, base] : rows)
        EXPECT_EQ(DerivedFiles::baseOf(QString::fromLatin1(input)), QString::fromLatin1(base)) << input;
    EXPECT_FALSE(DerivedFiles::remove(QStringLiteral("/data/Videos/.hidden")));
}

} // namespace
