#include "LibraryFixture.h"

#include "download/DownloadRows.h"
#include "library/CapturedFileAssembly.h"
#include "library/TagStore.h"
#include "support/RecordingDownloadList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using CapturedFileAssembly::Outcome;

class CapturedFileAssemblyTest : public LibraryFixture
{
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        m_rows.setView(&m_list);
    }

    qsizetype addRecord(const QString& base, const QString& extension, const QString& page = {})
    {
        VideoFile record;
        record.state = VideoFile::State::Old;
        record.baseName = base;
        record.extension = extension;
        record.title = QStringLiteral("Page title");
        record.pageAddress = page;
        const qsizetype index = m_videoFiles.append(record);
        m_rows.insert(index, record.title, base);
        return index;
    }

    // Splits a media file into the part files of a download.
    void writeParts(const QString& media, const QString& base, int parts)
    {
        QFile in(media);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        if (parts == 1) {
            writeFile(dir() + QStringLiteral("Temp/") + base + QLatin1Char('_'), bytes);
            return;
        }
        const qsizetype quarter = bytes.size() / 4;
        for (int i = 0; i < 4; ++i) {
            const qsizetype from = i * quarter;
            const qsizetype length = i == 3 ? bytes.size() - from : quarter;
            writeFile(dir() + QStringLiteral("Temp/") + base + QLatin1Char('_') + QString::number(i + 1),
                      bytes.mid(from, length));
        }
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }

    QByteArray bytesOf(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    Outcome assemble(qsizetype index)
    {
        const Outcome outcome = CapturedFileAssembly::run(*m_context, m_rows, index);
        spin();
        return outcome;
    }

    // Puts a stand-in for ffmpeg in the data folder, where tools are looked for first. It runs
    // script for the remux of a joined file in "Temp/" and the real ffmpeg for everything else.
    void fakeFfmpeg(const QByteArray& script) const
    {
        QFile tool(dir() + QStringLiteral("ffmpeg"));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tool.write("#!/bin/sh\nfor a; do [ \"$prev\" = -i ] && in=$a; prev=$a; out=$a; done\ncase $in in\n*/Temp/*) " +
                   script + ";;\n*) exec \"" + QFile::encodeName(ffmpegPath()) + "\" \"$@\";;\nesac\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    RecordingDownloadList m_list;
    DownloadRows m_rows{m_videoFiles};
};

TEST(AssemblyIconName, HostOrDefault)
{
    struct Case
    {
        const char* page;
        const char* extension;
        const char* icon;
    };
    const Case cases[] = {
        {"http://video.example.test/watch?v=1", ".mp4", "video.example.test"},
        {"https://secure.test/a/b", ".flv", "secure.test"},
        {"http://host.test", ".mp4", "DefaultVideo"},
        {"http://host.test", ".mp3", "DefaultAudio"},
        {"", ".m4a", "DefaultAudio"},
        {"", ".bin", "DefaultVideo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CapturedFileAssembly::iconNameFor(QLatin1String(c.page), QLatin1String(c.extension)),
                  QLatin1String(c.icon))
            << c.page << c.extension;
}

TEST_F(CapturedFileAssemblyTest, SingleAndFourPartDownloadsBecomeLibraryFiles)
{
    const QString media = dir() + QStringLiteral("source.mp4");
    makeVideo(media, 160, 90, 2);
    struct Case
    {
        const char* name;
        int parts;
        bool repair;
    };
    const Case cases[] = {
        {"single, copied", 1, false}, {"four parts, copied", 4, false}, {"four parts, remuxed", 4, true}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_settings->write(QStringLiteral("repairvideos"), c.repair ? QStringLiteral("true") : QStringLiteral("false"));
        const QString base = QString::number(1700000100 + n++);
        writeParts(media, base, c.parts);
        const qsizetype index = addRecord(base, QStringLiteral(".mp4"), QStringLiteral("http://site.test/page"));
        EXPECT_EQ(assemble(index), Outcome::Registered);

        const QString target = videos() + base + QStringLiteral(".mp4");
        if (!c.repair) {
            EXPECT_EQ(bytesOf(target), bytesOf(media)) << "the parts are joined in order";
        }
        EXPECT_GT(QFileInfo(target).size(), 0);
        EXPECT_TRUE(QDir(dir() + QStringLiteral("Temp")).isEmpty()) << "parts and scratch copy are gone";
        EXPECT_EQ(TagStore::read(target, QStringLiteral("title")), QStringLiteral("Page title"));
        EXPECT_EQ(TagStore::read(target, QStringLiteral("author")), QStringLiteral("http://site.test/page"));
        ASSERT_GE(m_table.rowCount(), 1);
        EXPECT_EQ(m_table.rowAt(0).path, target);
        EXPECT_EQ(m_table.rowAt(0).duration, QStringLiteral("00:00:02"));
        EXPECT_FALSE(m_rows.contains(index));
    }
    EXPECT_TRUE(m_list.captions().contains(QStringLiteral("100%..Processing ")));
    EXPECT_EQ(m_list.captions().last(), QStringLiteral("Trawlix"));
}

TEST_F(CapturedFileAssemblyTest, AMissingPartJoinsNothingButRemovesTheRow)
{
    const QString media = dir() + QStringLiteral("source.mp4");
    makeVideo(media, 160, 90, 1);
    const QString base = QStringLiteral("1700000200");
    writeParts(media, base, 4);
    QFile::remove(dir() + QStringLiteral("Temp/") + base + QStringLiteral("_3"));
    const qsizetype index = addRecord(base, QStringLiteral(".mp4"));
    EXPECT_EQ(assemble(index), Outcome::NothingJoined);
    for (const char* part : {"_1", "_2", "_4"})
        EXPECT_TRUE(QFileInfo::exists(dir() + QStringLiteral("Temp/") + base + QLatin1String(part))) << part;
    EXPECT_FALSE(QFileInfo::exists(videos() + base + QStringLiteral(".mp4")));
    EXPECT_EQ(m_table.rowCount(), 0);
    EXPECT_FALSE(m_rows.contains(index));
    EXPECT_EQ(m_rows.count(), 0);
}

TEST_F(CapturedFileAssemblyTest, BrokenDownloadLeavesNoEmptyLibraryFile)
{
    const QString base = QStringLiteral("1700000300");
    writeFile(dir() + QStringLiteral("Temp/") + base + QLatin1Char('_'), QByteArray("not a video at all"));
    m_settings->write(QStringLiteral("repairvideos"), QStringLiteral("true"));
    const qsizetype index = addRecord(base, QStringLiteral(".mp4"));
    // ffmpeg cannot remux it; the bytes still reach the library as they came.
    EXPECT_EQ(assemble(index), Outcome::Registered);
    EXPECT_EQ(bytesOf(videos() + base + QStringLiteral(".mp4")), QByteArray("not a video at all"));
    EXPECT_EQ(m_table.rowAt(0).duration, QStringLiteral("n/a"));

    const QString emptyBase = QStringLiteral("1700000301");
    writeFile(dir() + QStringLiteral("Temp/") + emptyBase + QLatin1Char('_'), QByteArray());
    const qsizetype emptyIndex = addRecord(emptyBase, QStringLiteral(".mp4"));
    EXPECT_EQ(assemble(emptyIndex), Outcome::NothingJoined);
    EXPECT_FALSE(QFileInfo::exists(videos() + emptyBase + QStringLiteral(".mp4")));
}

TEST_F(CapturedFileAssemblyTest, AFileOfTheSameBaseIsNeverTouched)
{
    // Base names of an earlier run are taken on disk: by a library file of any extension or
    // by a picture left behind. The new download moves on to the next free base.
    const QString media = dir() + QStringLiteral("source.mp4");
    makeVideo(media, 160, 90, 1);
    struct Case
    {
        const char* what;
        bool repair;
        QStringList taken; // files made before the assembly, "B" = base, "C" = base + 1
        int expectedOffset;
    };
    const Case cases[] = {
        {"remux over a library file", true, {QStringLiteral("Videos/B.mp4")}, 1},
        {"copy over a library file", false, {QStringLiteral("Videos/B.mp4")}, 1},
        {"another extension and a thumbnail",
         true,
         {QStringLiteral("Videos/B.flv"), QStringLiteral("160x90/C.jpg")},
         2},
        {"a still frame left behind", false, {QStringLiteral("Screens/B.bmp")}, 1},
    };
    qint64 seconds = 1700000500;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_settings->write(QStringLiteral("repairvideos"), c.repair ? QStringLiteral("true") : QStringLiteral("false"));
        const QString base = QString::number(seconds);
        for (const QString& name : c.taken) {
            const QString path = dir() + QString(name)
                                             .replace(QLatin1Char('B'), QString::number(seconds))
                                             .replace(QLatin1Char('C'), QString::number(seconds + 1));
            writeFile(path, QByteArray("an earlier file"));
            TagStore::write(path, QStringLiteral("title"), QStringLiteral("Earlier title"));
        }
        writeParts(media, base, 4);
        const qsizetype index = addRecord(base, QStringLiteral(".mp4"), QStringLiteral("http://site.test/page"));
        EXPECT_EQ(assemble(index), Outcome::Registered);

        for (const QString& name : c.taken) {
            const QString path = dir() + QString(name)
                                             .replace(QLatin1Char('B'), QString::number(seconds))
                                             .replace(QLatin1Char('C'), QString::number(seconds + 1));
            EXPECT_EQ(bytesOf(path), QByteArray("an earlier file")) << qPrintable(name);
            EXPECT_EQ(TagStore::read(path, QStringLiteral("title")), QStringLiteral("Earlier title"));
        }
        const QString target = videos() + QString::number(seconds + c.expectedOffset) + QStringLiteral(".mp4");
        if (c.repair)
            EXPECT_GT(QFileInfo(target).size(), bytesOf(media).size() / 2);
        else
            EXPECT_EQ(bytesOf(target), bytesOf(media));
        EXPECT_EQ(TagStore::read(target, QStringLiteral("title")), QStringLiteral("Page title"));
        ASSERT_GE(m_table.rowCount(), 1);
        EXPECT_EQ(m_table.rowAt(0).path, target);
        EXPECT_TRUE(QDir(dir() + QStringLiteral("Temp")).isEmpty());
        seconds += 10;
    }
}

TEST_F(CapturedFileAssemblyTest, AFailedRemuxIsNeverTakenForTheFile)
{
    // What ffmpeg leaves behind when it fails, or a file shorter than the download, is not
    // the library file: the joined bytes go in as they came. Only when they cannot go in
    // either does the joined file stay in "Temp/".
    const QString media = dir() + QStringLiteral("source.mp4");
    makeVideo(media, 160, 90, 1);
    struct Case
    {
        const char* what;
        QByteArray script;
        bool libraryUsable;
    };
    const Case cases[] = {
        {"exit 1 after writing", "printf broken > \"$out\"; echo 'Conversion failed!'; exit 1", true},
        {"exit 0 with a cut output", "head -c 1000 \"$in\" > \"$out\"", true},
        {"exit 1 and no library folder", "exit 1", false},
    };
    m_settings->write(QStringLiteral("repairvideos"), QStringLiteral("true"));
    qint64 seconds = 1700000600;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakeFfmpeg(c.script);
        const QString base = QString::number(seconds++);
        writeParts(media, base, 1);
        if (!c.libraryUsable) {
            ASSERT_TRUE(QDir(videos()).removeRecursively());
            writeFile(dir() + QStringLiteral("Videos"), QByteArray("not a folder"));
        }
        const int rowsBefore = m_table.rowCount();
        const qsizetype index = addRecord(base, QStringLiteral(".mp4"));
        const QString target = videos() + base + QStringLiteral(".mp4");
        if (c.libraryUsable) {
            EXPECT_EQ(assemble(index), Outcome::Registered);
            EXPECT_EQ(bytesOf(target), bytesOf(media));
            EXPECT_EQ(m_table.rowCount(), rowsBefore + 1);
            EXPECT_TRUE(QDir(dir() + QStringLiteral("Temp")).isEmpty());
        } else {
            EXPECT_EQ(assemble(index), Outcome::PlacingFailed);
            EXPECT_EQ(bytesOf(dir() + QStringLiteral("Temp/") + base), bytesOf(media)) << "the joined file stays";
            EXPECT_EQ(m_table.rowCount(), rowsBefore);
        }
        EXPECT_FALSE(m_rows.contains(index));
    }
}

TEST_F(CapturedFileAssemblyTest, AnMp3IsTitledFromItsTags)
{
    const QString media = dir() + QStringLiteral("song.mp3");
    makeAudio(media, 1,
              {QStringLiteral("-id3v2_version"), QStringLiteral("3"), QStringLiteral("-metadata"),
               QStringLiteral("title=Tune"), QStringLiteral("-metadata"), QStringLiteral("artist=Player")});
    const QString base = QStringLiteral("1700000400");
    writeParts(media, base, 1);
    const qsizetype index = addRecord(base, QStringLiteral(".mp3"), QStringLiteral("http://music.test/"));
    EXPECT_EQ(assemble(index), Outcome::Registered);
    const QString target = videos() + base + QStringLiteral(".mp3");
    EXPECT_EQ(TagStore::read(target, QStringLiteral("title")), QStringLiteral("Player - Tune"));
    EXPECT_EQ(m_table.rowAt(0).title, QStringLiteral("Player - Tune"));
}

} // namespace
