#include "LibraryFixture.h"

#include "base/UsageCounters.h"
#include "library/CacheEntryReader.h"
#include "library/CacheMusicCollector.h"
#include "library/CacheMusicFollower.h"
#include "library/TagStore.h"
#include "support/CacheEntryWriter.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>

#include <sys/stat.h>

namespace {

using CacheEntryWriter::Range;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

CacheEntryReader::Body readBytes(CacheEntryFormat format, const QByteArray& bytes)
{
    CacheEntryReader::Source source;
    source.size = bytes.size();
    source.read = [&bytes](qint64 offset, qint64 length) { return bytes.mid(offset, length); };
    return CacheEntryReader::read(format, source);
}

QByteArray bodyOf(const CacheEntryReader::Body& body, const QByteArray& bytes)
{
    QByteArray out;
    for (const CacheEntryReader::Span& span : body.spans)
        out += bytes.mid(span.fileOffset, span.length);
    return out;
}

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 % 251);
    return bytes;
}

TEST(CacheEntryReader, EachFormatYieldsTheBodyOnly)
{
    const QByteArray body = pattern(300000, 'a');
    QList<Range> shuffled = CacheEntryWriter::split(body, 65536);
    std::reverse(shuffled.begin(), shuffled.end()); // the file order need not be the body order
    const struct
    {
        const char* name;
        CacheEntryFormat format;
        QByteArray file;
    } rows[] = {
        {"firefox", CacheEntryFormat::FirefoxEntry, CacheEntryWriter::firefox(body)},
        {"chromium stream", CacheEntryFormat::ChromiumStream, CacheEntryWriter::chromiumStream(body)},
        {"chromium sparse", CacheEntryFormat::ChromiumSparse, CacheEntryWriter::chromiumSparse(shuffled)},
    };
    for (const auto& row : rows) {
        const CacheEntryReader::Body located = readBytes(row.format, row.file);
        ASSERT_TRUE(located.ok) << row.name << ": " << located.why.toStdString();
        EXPECT_EQ(located.size, body.size()) << row.name;
        EXPECT_TRUE(bodyOf(located, row.file) == body) << row.name;
    }
    // An empty body is a sound entry with nothing in it.
    EXPECT_EQ(readBytes(CacheEntryFormat::ChromiumStream, CacheEntryWriter::chromiumStream({})).size, 0);
    EXPECT_EQ(readBytes(CacheEntryFormat::FirefoxEntry, CacheEntryWriter::firefox({})).size, 0);
}

TEST(CacheEntryReader, SparseBodyEndsAtTheFirstGap)
{
    const QByteArray body = pattern(5000, 'x');
    const QByteArray file = CacheEntryWriter::chromiumSparse(
        {{3000, body.mid(3000, 1000)}, {0, body.left(2000)}, {2000, body.mid(2000, 500)}, {4500, body.mid(4500)}});
    const CacheEntryReader::Body located = readBytes(CacheEntryFormat::ChromiumSparse, file);
    ASSERT_TRUE(located.ok);
    EXPECT_EQ(bodyOf(located, file), body.left(2500));
    // Without the first bytes there is no body yet.
    const CacheEntryReader::Body late =
        readBytes(CacheEntryFormat::ChromiumSparse, CacheEntryWriter::chromiumSparse({{10, body.left(100)}}));
    ASSERT_TRUE(late.ok);
    EXPECT_EQ(late.size, 0);
}

TEST(CacheEntryReader, BadEntriesAreRefused)
{
    const QByteArray body = pattern(4000, 'b');
    const QByteArray stream = CacheEntryWriter::chromiumStream(body);
    QByteArray wrongMagic = stream;
    wrongMagic[0] = 'X';
    QByteArray hugeKey = stream;
    qToLittleEndian<quint32>(0x7fffffff, hugeKey.data() + 12);
    QByteArray noEnd = stream.left(stream.size() - 10);
    QByteArray bigStream0 = stream;
    qToLittleEndian<quint32>(0x7fffffff, bigStream0.data() + bigStream0.size() - 8);
    const QByteArray firefox = CacheEntryWriter::firefox(body);
    QByteArray pastEnd = firefox;
    qToBigEndian<quint32>(static_cast<quint32>(firefox.size()), pastEnd.data() + pastEnd.size() - 4);
    QByteArray noRoom = firefox;
    qToBigEndian<quint32>(static_cast<quint32>(firefox.size() - 20), noRoom.data() + noRoom.size() - 4);
    QByteArray badVersion = firefox;
    qToBigEndian<quint32>(77, badVersion.data() + body.size() + 4 + 2);
    QByteArray pastFile = CacheEntryWriter::chromiumSparse({{0, body}});
    pastFile.chop(1);
    QByteArray negative = CacheEntryWriter::chromiumSparse({{0, body}});
    qToLittleEndian<qint64>(-5, negative.data() + 24 + CacheEntryWriter::DefaultKey.size() + 8);

    const struct
    {
        const char* name;
        CacheEntryFormat format;
        QByteArray file;
    } rows[] = {
        {"truncated header", CacheEntryFormat::ChromiumStream, stream.left(10)},
        {"wrong magic", CacheEntryFormat::ChromiumStream, wrongMagic},
        {"wrong magic, sparse", CacheEntryFormat::ChromiumSparse, wrongMagic},
        {"key past the end", CacheEntryFormat::ChromiumStream, hugeKey},
        {"no end record", CacheEntryFormat::ChromiumStream, noEnd},
        {"stream 0 past the start", CacheEntryFormat::ChromiumStream, bigStream0},
        {"a raw body", CacheEntryFormat::ChromiumStream, body},
        {"three bytes", CacheEntryFormat::FirefoxEntry, QByteArray("ID3")},
        {"metadata offset past the end", CacheEntryFormat::FirefoxEntry, pastEnd},
        {"metadata without room", CacheEntryFormat::FirefoxEntry, noRoom},
        {"unknown metadata version", CacheEntryFormat::FirefoxEntry, badVersion},
        {"a raw body, firefox", CacheEntryFormat::FirefoxEntry, body},
        {"range past the file", CacheEntryFormat::ChromiumSparse, pastFile},
        {"negative offset", CacheEntryFormat::ChromiumSparse, negative},
        {"overlapping ranges", CacheEntryFormat::ChromiumSparse,
         CacheEntryWriter::chromiumSparse({{0, body.left(2000)}, {1999, body.mid(1999)}})},
        {"empty range", CacheEntryFormat::ChromiumSparse, CacheEntryWriter::chromiumSparse({{0, {}}})},
        {"truncated range record", CacheEntryFormat::ChromiumSparse,
         CacheEntryWriter::chromiumSparse({{0, body}}) + QByteArray(10, '\0')},
    };
    for (const auto& row : rows) {
        const CacheEntryReader::Body located = readBytes(row.format, row.file);
        EXPECT_FALSE(located.ok) << row.name;
        EXPECT_FALSE(located.why.isEmpty()) << row.name;
        EXPECT_TRUE(located.spans.isEmpty()) << row.name;
    }
}

class CacheMusicTest : public LibraryFixture
{
protected:
    static void SetUpTestSuite()
    {
        s_songDir = std::make_unique<QTemporaryDir>();
        const QString path = s_songDir->filePath(QStringLiteral("song.mp3"));
        makeAudio(path, 40,
                  {QStringLiteral("-b:a"), QStringLiteral("128k"), QStringLiteral("-metadata"),
                   QStringLiteral("title=Cache Song"), QStringLiteral("-metadata"), QStringLiteral("artist=Loop Band"),
                   QStringLiteral("-f"), QStringLiteral("mp3")});
        s_song = readAll(path);
    }
    static void TearDownTestSuite() { s_songDir.reset(); }

    void SetUp() override
    {
        LibraryFixture::SetUp();
        ASSERT_GT(s_song.size(), CacheMusicCollector::SizeLimit + 65536);
        ASSERT_TRUE(s_song.startsWith("ID3"));
        for (const char* name : {"getmusicfromcache", "chrome", "firefox", "yandex", "opera", "ie"})
            m_settings->write(QLatin1String(name), QStringLiteral("true"));
        UsageCounters::resetForTests();
        m_cacheHome = dir() + QStringLiteral("cache");
        m_chromium = m_cacheHome + QStringLiteral("/chromium/Default/Cache/Cache_Data/");
        m_firefox = m_cacheHome + QStringLiteral("/mozilla/firefox/x1y2.default-esr/cache2/entries/");
        QDir().mkpath(m_chromium);
        QDir().mkpath(m_firefox);
        m_collector = std::make_unique<CacheMusicCollector>(*m_context, m_cacheHome, [this] { return m_monitoring; });
    }
    void TearDown() override
    {
        TagStore::setExtendedAttributesEnabled(true);
        LibraryFixture::TearDown();
    }

    QStringList libraryFiles() const
    {
        QStringList files;
        for (const QString& name : QDir(videos()).entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name))
            files << videos() + name;
        return files;
    }
    bool rowsInserted(int count)
    {
        return processUntil([&] { return m_table.rowCount() == count; }, 30);
    }

    static inline std::unique_ptr<QTemporaryDir> s_songDir;
    static inline QByteArray s_song;
    QString m_cacheHome;
    QString m_chromium;
    QString m_firefox;
    bool m_monitoring = true;
    std::unique_ptr<CacheMusicCollector> m_collector;
};

class CacheMusicFormatTest : public CacheMusicTest, public ::testing::WithParamInterface<int>
{
};

// The song as each browser keeps it: the library copy holds the served bytes, nothing of the
// entry's own records; it is recorded, counted, titled from its tags, listed and its cache file
// marked, and the cache file itself is left as it was.
TEST_P(CacheMusicFormatTest, TakesTheBodyAsTheSong)
{
    QList<Range> ranges = CacheEntryWriter::split(s_song, 65536);
    std::swap(ranges[1], ranges[3]);
    const struct
    {
        QString path;
        QByteArray file;
        CacheEntryFormat format;
    } rows[] = {
        {m_chromium + QStringLiteral("c216e79569a21830_0"), CacheEntryWriter::chromiumStream(s_song),
         CacheEntryFormat::ChromiumStream},
        {m_chromium + QStringLiteral("c216e79569a21830_s"), CacheEntryWriter::chromiumSparse(ranges),
         CacheEntryFormat::ChromiumSparse},
        {m_firefox + QStringLiteral("0F3A9C2B7E1D4F5A6B7C8D9E0F1A2B3C4D5E6F70"), CacheEntryWriter::firefox(s_song),
         CacheEntryFormat::FirefoxEntry},
    };
    const auto& row = rows[GetParam()];
    writeFile(row.path, row.file);

    EXPECT_EQ(m_collector->cycle(), 1);
    const QStringList files = libraryFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(QFileInfo(files[0]).fileName(), QString::number(m_now) + QStringLiteral(".mp3"));
    EXPECT_TRUE(readAll(files[0]) == s_song);
    ASSERT_EQ(m_mp3Files.size(), 1);
    const MP3File record = *m_mp3Files.at(0);
    EXPECT_EQ(record.cachePath, row.path);
    EXPECT_EQ(record.libraryPath, files[0]);
    EXPECT_EQ(record.copiedSize, s_song.size());
    EXPECT_EQ(record.format, row.format);
    EXPECT_EQ(record.idleCounter, 0);
    EXPECT_TRUE(CacheMusicCollector::isMarked(row.path));
    EXPECT_TRUE(readAll(row.path) == row.file);
    EXPECT_EQ(UsageCounters::runCounts().musicFromCache, 1);
    EXPECT_EQ(TagStore::read(files[0], QStringLiteral("title")), QStringLiteral("Loop Band - Cache Song"));
    ASSERT_TRUE(rowsInserted(1));
    EXPECT_EQ(m_table.rowAt(0).path, files[0]);
    EXPECT_EQ(m_table.rowAt(0).title, QStringLiteral("Loop Band - Cache Song"));

    // Taken once: the record (and the mark) keep it out of later cycles.
    EXPECT_EQ(m_collector->cycle(), 0);
    EXPECT_EQ(libraryFiles().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, CacheMusicFormatTest, ::testing::Values(0, 1, 2));

// Size and first bytes are those of the body: 524288 body bytes are too few even in a larger
// file, and only "ID3" or an MPEG-1 Layer III header (0xFF 0xFA/0xFB) start a song.
TEST_F(CacheMusicTest, SizeAndFirstBytesOfTheBodyDecide)
{
    const auto body = [](QByteArray start, qint64 size, char seed) {
        return start + pattern(size - start.size(), seed);
    };
    const struct
    {
        const char* name;
        QByteArray body;
        bool taken;
    } rows[] = {
        {"a0_0", body("ID3", 524288, 'a'), false},
        {"a1_0", body("ID3", 524289, 'b'), true},
        {"a2_0", body("\xff\xfb", 600000, 'c'), true},
        {"a3_0", body("\xff\xfa", 600000, 'd'), true},
        {"a4_0", body("\xff\xf3", 600000, 'e'), false},
        {"a5_0",
         body(QByteArray("\0\0\0\x20"
                         "ftypisom",
                         12),
              600000, 'f'),
         false},
        {"a6_1", body("ID3", 600000, 'g'), false}, // stream 2 holds no response body
    };
    for (const auto& row : rows)
        writeFile(m_chromium + QLatin1String(row.name), CacheEntryWriter::chromiumStream(row.body));
    EXPECT_EQ(m_collector->cycle(), 3);
    QList<qint64> sizes;
    for (const QString& file : libraryFiles())
        sizes << QFileInfo(file).size();
    EXPECT_EQ(sizes, (QList<qint64>{524289, 600000, 600000}));
    for (const auto& row : rows)
        EXPECT_EQ(CacheMusicCollector::isMarked(m_chromium + QLatin1String(row.name)), row.taken) << row.name;
    ASSERT_TRUE(rowsInserted(3));
}

// The same song cached twice is copied once; the second entry is marked once it is more than a
// minute old. A second entry holding more of the song is taken as a copy of its own.
TEST_F(CacheMusicTest, DuplicateIsTakenOnceAndMarkedAfterAMinute)
{
    writeFile(m_chromium + QStringLiteral("aaaa_0"), CacheEntryWriter::chromiumStream(s_song));
    writeFile(m_chromium + QStringLiteral("bbbb_s"),
              CacheEntryWriter::chromiumSparse(CacheEntryWriter::split(s_song, 65536)));
    EXPECT_EQ(m_collector->cycle(), 1);
    EXPECT_EQ(libraryFiles().size(), 1);
    EXPECT_FALSE(CacheMusicCollector::isMarked(m_chromium + QStringLiteral("bbbb_s")));

    m_clock.advance(120);
    EXPECT_EQ(m_collector->cycle(), 0);
    EXPECT_TRUE(CacheMusicCollector::isMarked(m_chromium + QStringLiteral("bbbb_s")));
    EXPECT_EQ(libraryFiles().size(), 1);

    const QByteArray longer = s_song + QByteArray(4096, '\0');
    writeFile(m_chromium + QStringLiteral("cccc_0"), CacheEntryWriter::chromiumStream(longer));
    EXPECT_EQ(m_collector->cycle(), 1);
    const QStringList files = libraryFiles();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(readAll(files[1]) == longer);
    EXPECT_EQ(m_mp3Files.size(), 2);
    ASSERT_TRUE(rowsInserted(2));
}

// After a restart the records are gone; the mark alone keeps a taken entry from being copied
// again, also where the file system refuses extended attributes (the mark then lives in the
// data folder, and the cache file is never written).
TEST_F(CacheMusicTest, RestartSkipsMarkedEntries)
{
    for (const bool attributes : {true, false}) {
        SCOPED_TRACE(attributes ? "extended attributes" : "no extended attributes");
        TagStore::setExtendedAttributesEnabled(attributes);
        const QString path = m_chromium + (attributes ? QStringLiteral("dddd_0") : QStringLiteral("eeee_0"));
        // A song of its own for each round, so the duplicate test plays no part.
        const QByteArray song = s_song.left(s_song.size() - (attributes ? 0 : 1000));
        const QByteArray file = CacheEntryWriter::chromiumStream(song);
        writeFile(path, file);
        const QDateTime written = QFileInfo(path).lastModified();

        MP3FileArray firstRun;
        LibraryContext first{m_table, m_imagesIndexes, firstRun, m_videoFiles};
        first.clock = &m_clock;
        const int before = static_cast<int>(libraryFiles().size());
        EXPECT_EQ(CacheMusicCollector(first, m_cacheHome, {}).cycle(), 1);

        MP3FileArray secondRun;
        LibraryContext second{m_table, m_imagesIndexes, secondRun, m_videoFiles};
        second.clock = &m_clock;
        EXPECT_EQ(CacheMusicCollector(second, m_cacheHome, {}).cycle(), 0);
        EXPECT_EQ(libraryFiles().size(), before + 1);
        EXPECT_EQ(secondRun.size(), 0);
        EXPECT_TRUE(readAll(path) == file);
        EXPECT_EQ(QFileInfo(path).lastModified(), written);
        m_clock.advance(2); // the next library file gets a base of its own
        // The next round's store does not know this entry's mark.
        QFile::remove(path);
    }
    EXPECT_TRUE(QFileInfo::exists(dir() + QStringLiteral("tags.json")));
    ASSERT_TRUE(rowsInserted(2));
}

// The monitoring switch, "getmusicfromcache" and each browser's setting are read every cycle.
TEST_F(CacheMusicTest, SwitchesAreReadEveryCycle)
{
    writeFile(m_firefox + QStringLiteral("ABCDEF"), CacheEntryWriter::firefox(s_song));
    m_settings->write(QStringLiteral("getmusicfromcache"), QStringLiteral("false"));
    EXPECT_EQ(m_collector->cycle(), 0);
    m_settings->write(QStringLiteral("getmusicfromcache"), QStringLiteral("true"));
    m_monitoring = false;
    EXPECT_EQ(m_collector->cycle(), 0);
    m_monitoring = true;
    m_settings->write(QStringLiteral("firefox"), QStringLiteral("false"));
    EXPECT_EQ(m_collector->cycle(), 0);
    EXPECT_TRUE(libraryFiles().isEmpty());
    EXPECT_FALSE(CacheMusicCollector::isMarked(m_firefox + QStringLiteral("ABCDEF")));
    m_settings->write(QStringLiteral("firefox"), QStringLiteral("true"));
    EXPECT_EQ(m_collector->cycle(), 1);
    ASSERT_TRUE(rowsInserted(1));
}

// Broken entries are passed over (never copied, never marked) and the scan goes on.
TEST_F(CacheMusicTest, BrokenEntriesAreSkipped)
{
    QByteArray overlapping = CacheEntryWriter::chromiumSparse({{0, s_song.left(400000)}, {300000, s_song.mid(300000)}});
    QByteArray noEnd = CacheEntryWriter::chromiumStream(s_song);
    noEnd.chop(30);
    writeFile(m_chromium + QStringLiteral("1111_s"), overlapping);
    writeFile(m_chromium + QStringLiteral("2222_0"), noEnd);
    writeFile(m_chromium + QStringLiteral("3333_0"), s_song); // a raw body is no Chromium entry
    writeFile(m_firefox + QStringLiteral("4444"), s_song);    // nor a Firefox one
    writeFile(m_chromium + QStringLiteral("9999_0"), CacheEntryWriter::chromiumStream(s_song));
    EXPECT_EQ(m_collector->cycle(), 1);
    ASSERT_EQ(m_mp3Files.size(), 1);
    EXPECT_EQ(m_mp3Files.at(0)->cachePath, m_chromium + QStringLiteral("9999_0"));
    for (const char* name : {"1111_s", "2222_0", "3333_0"})
        EXPECT_FALSE(CacheMusicCollector::isMarked(m_chromium + QLatin1String(name))) << name;
    ASSERT_TRUE(rowsInserted(1));
}

// While the browser still fills its entry, the follower appends the body's growth (and only
// the body's) to the copy.
TEST_F(CacheMusicTest, FollowerAppendsTheGrowthOfTheBody)
{
    const QString sparse = m_chromium + QStringLiteral("5555_s");
    const QList<Range> ranges = CacheEntryWriter::split(s_song, 65536);
    writeFile(sparse, CacheEntryWriter::chromiumSparse(ranges.first(9)));
    // A Firefox entry is rewritten with its metadata after the longer body.
    const QByteArray other = s_song.left(3) + pattern(s_song.size() - 3, 'q');
    const QString firefox = m_firefox + QStringLiteral("6666");
    writeFile(firefox, CacheEntryWriter::firefox(other.left(530000)));
    EXPECT_EQ(m_collector->cycle(), 2);
    ASSERT_EQ(m_mp3Files.size(), 2);
    EXPECT_EQ(m_mp3Files.at(0)->copiedSize, 9 * 65536);
    ASSERT_TRUE(rowsInserted(2));

    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 0);
    QList<Range> shuffled = ranges;
    std::swap(shuffled[8], shuffled[9]); // the file order need not be the body order
    writeFile(sparse, CacheEntryWriter::chromiumSparse(shuffled));
    writeFile(firefox, CacheEntryWriter::firefox(other));
    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 2);
    EXPECT_TRUE(readAll(m_mp3Files.at(0)->libraryPath) == s_song);
    EXPECT_TRUE(readAll(m_mp3Files.at(1)->libraryPath) == other);
    EXPECT_EQ(m_mp3Files.at(0)->copiedSize, s_song.size());
    EXPECT_EQ(m_mp3Files.at(1)->copiedSize, other.size());
    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 0);

    // A pipe put in an entry's place is never opened (that would block the follower).
    ASSERT_TRUE(QFile::remove(sparse));
    ASSERT_EQ(::mkfifo(QFile::encodeName(sparse).constData(), 0600), 0);
    EXPECT_EQ(CacheMusicFollower::pass(*m_context), 0);
    EXPECT_EQ(m_collector->cycle(), 0);
}

} // namespace
