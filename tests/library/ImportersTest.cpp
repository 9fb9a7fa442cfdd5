#include "LibraryFixture.h"

#include "library/CacheMusicFollower.h"
#include "library/FileCopy.h"
#include "library/FileImport.h"
#include "library/LibraryFormat.h"
#include "library/LinkDownloadImporter.h"
#include "library/RecordingsImporter.h"
#include "library/TagStore.h"
#include "support/CacheEntryWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class ImportersTest : public LibraryFixture
{
protected:
    QString stateOf(const QString& name) const
    {
        for (const TempRecordsFile& record : m_records.snapshot()) {
            if (record.fileName == name)
                return stateName(record.state);
        }
        return {};
    }
    QStringList libraryFiles() const { return QDir(videos()).entryList(QDir::Files, QDir::Name); }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    TempRecordsFileArray m_records;
};

TEST_F(ImportersTest, RecordingsEnterTheLibraryOnceWithTheirKind)
{
    makeVideo(dir() + QStringLiteral("TempRecords/screen.avi"), 160, 120, 1,
              {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
    makeAudio(dir() + QStringLiteral("TempRecords/sound.wav"), 1);
    const QString when = LibraryFormat::captureTime(QDateTime::fromSecsSinceEpoch(m_now));
    QStringList notices;
    m_context->notify = [&](const QString& text) { notices << text; };

    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(stateOf(QStringLiteral("screen.avi")), QStringLiteral("UnKnown"));
    EXPECT_TRUE(libraryFiles().isEmpty());
    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(stateOf(QStringLiteral("sound.wav")), QStringLiteral("HasBeenRecorded"));
    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(stateOf(QStringLiteral("screen.avi")), QStringLiteral("HasBeenImported"));
    EXPECT_EQ(stateOf(QStringLiteral("sound.wav")), QStringLiteral("HasBeenImported"));

    const QString video = videos() + QString::number(m_now) + QStringLiteral(".mp4");
    const QString audio = videos() + QString::number(m_now + 1) + QStringLiteral(".wav");
    EXPECT_EQ(libraryFiles(), (QStringList{QFileInfo(video).fileName(), QFileInfo(audio).fileName()}))
        << "two imports of one second get two names";
    EXPECT_EQ(TagStore::read(video, QStringLiteral("title")), QStringLiteral("Video Record ") + when);
    EXPECT_EQ(TagStore::read(audio, QStringLiteral("title")), QStringLiteral("Audio Record ") + when);
    EXPECT_EQ(notices.size(), 1);
    EXPECT_EQ(m_table.rowCount(), 2);
    EXPECT_TRUE(QDir(dir() + QStringLiteral("TempRecords")).isEmpty()) << "imported recordings leave the folder";

    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(libraryFiles().size(), 2) << "never imported twice";
}

TEST_F(ImportersTest, ARecordingStillWrittenWaits)
{
    const QString path = dir() + QStringLiteral("TempRecords/live.wav");
    makeAudio(path, 1);
    QFile writer(path);
    ASSERT_TRUE(writer.open(QIODevice::Append));
    RecordingsImporter::pass(*m_context, m_records);
    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(stateOf(QStringLiteral("live.wav")), QStringLiteral("RecordingNow"));
    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_TRUE(libraryFiles().isEmpty());
    writer.close();
    RecordingsImporter::pass(*m_context, m_records);
    EXPECT_EQ(stateOf(QStringLiteral("live.wav")), QStringLiteral("HasBeenRecorded"));
}

TEST_F(ImportersTest, LinkDownloadsWaitForTheirFinalName)
{
    const QString part = dir() + QStringLiteral("TempDownloads/Clip title~abc.mp4.part");
    makeVideo(part, 160, 120, 1, {QStringLiteral("-f"), QStringLiteral("mp4")});
    makeAudio(dir() + QStringLiteral("TempDownloads/Song - Only Audio~x.m4a"), 1);
    m_context->linkPage = [] { return QString(); };

    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 1) << "only the finished audio";
    ASSERT_TRUE(QFile::rename(part, dir() + QStringLiteral("TempDownloads/Clip title~abc.mp4")));
    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 1);

    QStringList titles;
    for (const QString& name : libraryFiles())
        titles << TagStore::read(videos() + name, QStringLiteral("title"));
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Clip title"), QStringLiteral("Song - Only Audio")}));
    EXPECT_EQ(m_table.rowCount(), 2);
}

// A song, a silent clip and a clip with a cover-less sound track all go in, whatever their
// names promise; a file without any stream stays where it is, never deleted.
TEST_F(ImportersTest, LinkDownloadsWithOneKindOfStreamGoInAndUnreadableOnesStay)
{
    const QString downloads = dir() + QStringLiteral("TempDownloads/");
    makeAudio(downloads + QStringLiteral("Song~a1.m4a"), 1);
    makeVideo(downloads + QStringLiteral("Silent clip~b2.mp4"), 160, 120, 1, {QStringLiteral("-an")});
    makeVideo(downloads + QStringLiteral("Picture only - Only Audio~c3.mp4"), 160, 120, 1, {QStringLiteral("-an")});
    writeFile(downloads + QStringLiteral("Broken~d4.mp4"), "<html>not found</html>");
    m_context->linkPage = [] { return QString(); };

    QStringList rejected;
    const QStringList names = QDir(downloads).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(LinkDownloadImporter::importNames(*m_context, names, &rejected), 3);
    EXPECT_EQ(rejected, QStringList{QStringLiteral("Broken~d4.mp4")});
    EXPECT_EQ(QDir(downloads).entryList(QDir::Files), QStringList{QStringLiteral("Broken~d4.mp4")})
        << "the unreadable file stays";
    ASSERT_TRUE(processUntil([&] { return m_table.rowCount() == 3; }));
    QStringList titles;
    for (int row = 0; row < m_table.rowCount(); ++row)
        titles << m_table.rowAt(row).title;
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Picture only - Only Audio"), QStringLiteral("Silent clip"),
                                   QStringLiteral("Song")}));

    // The importer passes every second: the file is probed again only once it changed.
    resetFfmpegRuns();
    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 0);
    EXPECT_EQ(ffmpegRuns(), 0);
    writeFile(downloads + QStringLiteral("Broken~d4.mp4"), "<html>still not found</html>");
    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 0);
    EXPECT_EQ(ffmpegRuns(), 1);
    EXPECT_TRUE(QFileInfo::exists(downloads + QStringLiteral("Broken~d4.mp4")));
}

TEST(LinkDownloadStreams, TheReportCountsVideoAndAudioButNoCoverPicture)
{
    struct Case
    {
        const char* json;
        int video;
        int audio;
    };
    const Case cases[] = {
        {R"({"streams":[{"codec_type":"video","disposition":{"attached_pic":0}},{"codec_type":"audio"}]})", 1, 1},
        {R"({"streams":[{"codec_type":"audio"},{"codec_type":"video","disposition":{"attached_pic":1}}]})", 0, 1},
        {R"({"streams":[{"codec_type":"subtitle"},{"codec_type":"data"}]})", 0, 0},
        {R"({"streams":[{"codec_type":"video"}]})", 1, 0},
        {R"({"streams":{"codec_type":"video"}})", 0, 0},
        {R"(Input #0, mp3 ... Audio: mp3)", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        const LinkDownloadImporter::Streams streams = LinkDownloadImporter::streamsOf(QString::fromLatin1(c.json));
        EXPECT_EQ(streams.video, c.video) << c.json;
        EXPECT_EQ(streams.audio, c.audio) << c.json;
    }
    // A report past the bound is not read at all.
    QString huge = QStringLiteral(R"({"streams":[{"codec_type":"audio"}],"x":")");
    huge += QString(LinkDownloadImporter::MaxProbeOutput, u'a') + QStringLiteral(R"("})");
    EXPECT_FALSE(LinkDownloadImporter::streamsOf(huge).any());
}

TEST_F(ImportersTest, DroppedAndChosenFiles)
{
    const QString song = dir() + QStringLiteral("My Song.MP3");
    writeFile(song, QByteArray(200000, 's'));
    const QString text = dir() + QStringLiteral("notes.txt");
    writeFile(text, "notes");
    QStringList captions;
    m_context->setCaption = [&](const QString& caption) { captions << caption; };

    EXPECT_EQ(FileImport::importDropped(*m_context, {text}), 0);
    EXPECT_TRUE(libraryFiles().isEmpty());
    EXPECT_EQ(FileImport::importDropped(*m_context, {text, song}), 1);
    const QString dropped = videos() + QString::number(m_now + 1) + QStringLiteral(".mp3");
    ASSERT_TRUE(QFileInfo::exists(dropped));
    EXPECT_EQ(TagStore::read(dropped, QStringLiteral("title")), QStringLiteral("My Song"));
    EXPECT_EQ(captions.last(), QStringLiteral("100%..Processing "));

    EXPECT_EQ(FileImport::importChosen(*m_context, {song, song}), 2);
    EXPECT_EQ(libraryFiles().size(), 3) << "no import overwrites another";
}

TEST_F(ImportersTest, FilesOfOneLengthButOtherBytesAreBothImported)
{
    const QString first = dir() + QStringLiteral("a.mp3");
    const QString second = dir() + QStringLiteral("b.mp3");
    writeFile(first, QByteArray(4096, 'a'));
    writeFile(second, QByteArray(4095, 'a') + 'b'); // same length, same first 1024 bytes
    EXPECT_EQ(FileImport::importChosen(*m_context, {first, second}), 2);
    QByteArray contents;
    for (const QString& name : libraryFiles()) {
        QFile file(videos() + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        contents += file.readAll().right(1);
    }
    EXPECT_EQ(contents, QByteArray("ab"));
}

TEST_F(ImportersTest, FileCopyReportsWholePercentages)
{
    const QString source = dir() + QStringLiteral("big.bin");
    writeFile(source, QByteArray(5 * FileCopy::BlockSize + 17, 'b'));
    QList<int> seen;
    ASSERT_TRUE(FileCopy::copy(source, dir() + QStringLiteral("copy.bin"), [&](int p) { seen << p; }));
    EXPECT_EQ(seen, (QList<int>{19, 39, 59, 79, 99, 100}));
    EXPECT_FALSE(FileCopy::copy(dir() + QStringLiteral("missing"), dir() + QStringLiteral("x")));
}

TEST_F(ImportersTest, FollowerAppendsWhileTheCacheGrows)
{
    const QString cache = dir() + QStringLiteral("cache-entry");
    const QString copy = videos() + QStringLiteral("1700000500.mp3");
    makeAudio(cache, 2, {QStringLiteral("-f"), QStringLiteral("mp3")});
    QFile cacheFile(cache);
    ASSERT_TRUE(cacheFile.open(QIODevice::ReadOnly));
    const QByteArray all = cacheFile.readAll();
    cacheFile.close();
    writeFile(cache, CacheEntryWriter::firefox(all.first(all.size() / 2)));
    writeFile(copy, all.first(all.size() / 2));

    MediaRow row;
    row.path = copy;
    m_table.insertTop(row);
    MP3File record;
    record.cachePath = cache;
    record.libraryPath = copy;
    record.copiedSize = all.size() / 2;
    m_mp3Files.append(record);

    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 0);
    writeFile(cache, CacheEntryWriter::firefox(all));
    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 1);
    QFile copied(copy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), all);
    EXPECT_EQ(m_mp3Files.at(0)->copiedSize, all.size());
    EXPECT_EQ(m_mp3Files.at(0)->idleCounter, 0);
    EXPECT_EQ(m_table.rowAt(0).sizeBytes, all.size());
    EXPECT_EQ(m_table.rowAt(0).duration.left(7), QStringLiteral("00:00:0"));
    EXPECT_NE(TagStore::read(copy, QStringLiteral("comments")), QStringLiteral("Unnamed media file"));

    // Idle for the limit: later growth is no longer followed.
    m_mp3Files.update(0, [](MP3File& r) { r.idleCounter = CacheMusicFollower::IdleLimit - 1; });
    writeFile(cache, CacheEntryWriter::firefox(all + QByteArray(1000, '\0')));
    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 0);
}

} // namespace
