#include "library/TagStore.h"
#include "base/Texts.h"
#include "support/SkipUnlessCi.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QStringList kTags{QStringLiteral("title"), QStringLiteral("author"), QStringLiteral("comments")};

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Runs every case twice: with extended attributes, and with the sidecar store alone, as on a
// file system that refuses user attributes.
class TagStoreTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        Texts::init();
        ASSERT_TRUE(m_dir.isValid());
        TagStore::setSidecarPath(m_dir.filePath(QStringLiteral("tags.json")));
        TagStore::setExtendedAttributesEnabled(GetParam());
        m_media = m_dir.filePath(QStringLiteral("1700000000.mp4"));
        QFile file(m_media);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, '\x42') + QByteArrayLiteral("\x00\x01media"));
    }

    void TearDown() override { TagStore::setExtendedAttributesEnabled(true); }

    bool usesAttributes() const { return GetParam(); }

    QTemporaryDir m_dir;
    QString m_media;
};

TEST_P(TagStoreTest, MissingOrEmptyTagsReadAsTheDefaultTitle)
{
    const QString unnamed = QStringLiteral("Unnamed media file");
    for (const QString& tag : kTags)
        EXPECT_EQ(TagStore::read(m_media, tag), unnamed) << qPrintable(tag);
    for (const QString& tag : kTags) {
        ASSERT_TRUE(TagStore::write(m_media, tag, QString()));
        EXPECT_EQ(TagStore::read(m_media, tag), unnamed) << qPrintable(tag);
    }
    EXPECT_EQ(TagStore::read(m_dir.filePath(QStringLiteral("gone.mp4")), kTags.first()), unnamed);
}

TEST_P(TagStoreTest, TagsRoundTripWithoutTouchingTheMediaBytes)
{
    const QByteArray before = digestOf(m_media);
    const QDateTime modified = QFileInfo(m_media).lastModified();
    const QString values[] = {
        QStringLiteral("Cats & dogs: \"best\" of 2023"),
        QStringLiteral("http://127.0.0.1:8080/watch?v=1&x=%20"),
        QStringLiteral("00:00:05.00, MP4"),
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(TagStore::write(m_media, kTags.at(i), values[i]));
    ASSERT_TRUE(TagStore::write(m_media, kTags.first(), QStringLiteral("Безымянный клип — ünïcødé 🎬")));
    EXPECT_EQ(TagStore::read(m_media, kTags.at(0)), QStringLiteral("Безымянный клип — ünïcødé 🎬"));
    EXPECT_EQ(TagStore::read(m_media, kTags.at(1)), values[1]);
    EXPECT_EQ(TagStore::read(m_media, kTags.at(2)), values[2]);
    EXPECT_EQ(digestOf(m_media), before);
    EXPECT_EQ(QFileInfo(m_media).lastModified(), modified);
    // The other files of the folder carry no tags of it.
    QFile other(m_dir.filePath(QStringLiteral("1700000001.mp4")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    EXPECT_EQ(TagStore::read(other.fileName(), kTags.first()), QStringLiteral("Unnamed media file"));
}

TEST_P(TagStoreTest, TagsSurviveARestart)
{
    ASSERT_TRUE(TagStore::write(m_media, QStringLiteral("author"), QStringLiteral("http://127.0.0.1/page")));
    if (usesAttributes()) {
        // Another process sees the attribute on the file itself.
        if (QStandardPaths::findExecutable(QStringLiteral("getfattr")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("getfattr (package attr) is not installed");
        QProcess reader;
        reader.start(QStringLiteral("getfattr"), {QStringLiteral("--only-values"), QStringLiteral("-n"),
                                                  QStringLiteral("user.trawlix.author"), m_media});
        ASSERT_TRUE(reader.waitForFinished(10000));
        EXPECT_EQ(reader.readAllStandardOutput(), QByteArrayLiteral("http://127.0.0.1/page"));
    } else {
        QFile sidecar(TagStore::sidecarPath());
        ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly));
        const QJsonObject entries = QJsonDocument::fromJson(sidecar.readAll()).object();
        EXPECT_EQ(entries.value(QFileInfo(m_media).canonicalFilePath()).toObject().value(QStringLiteral("author")),
                  QStringLiteral("http://127.0.0.1/page"));
    }
    // A fresh start: no cached state.
    TagStore::setSidecarPath(m_dir.filePath(QStringLiteral("tags.json")));
    EXPECT_EQ(TagStore::read(m_media, QStringLiteral("author")), QStringLiteral("http://127.0.0.1/page"));
}

TEST_P(TagStoreTest, WritingToAMissingFileStoresNothing)
{
    const QString gone = m_dir.filePath(QStringLiteral("gone.mp4"));
    EXPECT_FALSE(TagStore::write(gone, QStringLiteral("title"), QStringLiteral("x")));
    EXPECT_FALSE(TagStore::write(m_dir.path(), QStringLiteral("title"), QStringLiteral("x")));
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_FALSE(QFile::exists(TagStore::sidecarPath()));
}

TEST_P(TagStoreTest, ForgetDropsTheSidecarEntriesOfADeletedFile)
{
    ASSERT_TRUE(TagStore::write(m_media, QStringLiteral("title"), QStringLiteral("old clip")));
    TagStore::forget(m_media);
    QFile::remove(m_media);
    QFile fresh(m_media);
    ASSERT_TRUE(fresh.open(QIODevice::WriteOnly));
    fresh.close();
    EXPECT_EQ(TagStore::read(m_media, QStringLiteral("title")), QStringLiteral("Unnamed media file"));
}

INSTANTIATE_TEST_SUITE_P(Stores, TagStoreTest, ::testing::Bool(), [](const auto& row) {
    return row.param ? "Attributes" : "Sidecar";
});

TEST(TagStoreFallback, AValueTheAttributeRefusesGoesToTheSidecar)
{
    Texts::init();
    QTemporaryDir dir;
    TagStore::setSidecarPath(dir.filePath(QStringLiteral("tags.json")));
    TagStore::setExtendedAttributesEnabled(true);
    const QString media = dir.filePath(QStringLiteral("clip.mp4"));
    QFile file(media);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString huge(70000, QLatin1Char('t')); // beyond any file system's attribute limit
    ASSERT_TRUE(TagStore::write(media, QStringLiteral("title"), huge));
    EXPECT_EQ(TagStore::read(media, QStringLiteral("title")), huge);
    EXPECT_TRUE(QFile::exists(TagStore::sidecarPath()));
    // A later value that fits the attribute replaces the sidecar copy for good.
    ASSERT_TRUE(TagStore::write(media, QStringLiteral("title"), QStringLiteral("short")));
    EXPECT_EQ(TagStore::read(media, QStringLiteral("title")), QStringLiteral("short"));
    TagStore::setExtendedAttributesEnabled(false);
    EXPECT_EQ(TagStore::read(media, QStringLiteral("title")), QStringLiteral("Unnamed media file"));
    TagStore::setExtendedAttributesEnabled(true);
}

// A sidecar this program cannot read (damaged, or far too large to be a tag list) is never
// written over: it is kept beside the new store.
TEST(TagStoreFallback, AnUnreadableSidecarIsKeptAsideNotOverwritten)
{
    Texts::init();
    TagStore::setExtendedAttributesEnabled(false);
    const struct
    {
        const char* name;
        QByteArray bytes;
        qint64 size;
    } cases[] = {
        {"truncated", QByteArrayLiteral("{\"/music/a.mp3\": {\"title\": \"Sta"), 0},
        {"not an object", QByteArrayLiteral("[1, 2, 3]"), 0},
        {"oversized", QByteArrayLiteral("{}"), 64 * 1024 * 1024 + 1},
    };
    for (const auto& row : cases) {
        QTemporaryDir dir;
        const QString sidecar = dir.filePath(QStringLiteral("tags.json"));
        QFile stored(sidecar);
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
        stored.write(row.bytes);
        if (row.size > 0) {
            ASSERT_TRUE(stored.resize(row.size)); // sparse: costs no disk
        }
        stored.close();
        TagStore::setSidecarPath(sidecar);
        const QString media = dir.filePath(QStringLiteral("clip.mp4"));
        QFile file(media);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        EXPECT_EQ(TagStore::read(media, QStringLiteral("title")), QStringLiteral("Unnamed media file")) << row.name;
        ASSERT_TRUE(TagStore::write(media, QStringLiteral("title"), QStringLiteral("Fresh"))) << row.name;
        EXPECT_EQ(TagStore::read(media, QStringLiteral("title")), QStringLiteral("Fresh")) << row.name;
        QFile aside(sidecar + QStringLiteral(".broken"));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << row.name;
        EXPECT_EQ(aside.size(), row.size > 0 ? row.size : row.bytes.size()) << row.name;
        EXPECT_TRUE(aside.read(row.bytes.size()) == row.bytes) << row.name;

        // A second damage keeps the first kept copy too.
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stored.write("{broken again");
        stored.close();
        ASSERT_TRUE(TagStore::write(media, QStringLiteral("title"), QStringLiteral("Fresher"))) << row.name;
        EXPECT_EQ(QFileInfo(sidecar + QStringLiteral(".broken-2")).size(), 13) << row.name;
        EXPECT_EQ(aside.size(), row.size > 0 ? row.size : row.bytes.size()) << row.name;
    }
    TagStore::setExtendedAttributesEnabled(true);
}

} // namespace
