// A track's file from its segment files: init sections led in at each switch, and a failure
// leaves neither the file nor its ".part" behind, while an earlier file of that name is replaced
// only by a whole one.
#include "download/StreamJoin.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

class StreamJoinTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        EXPECT_TRUE(StreamJoin::writeWhole(path(name), bytes));
        return path(name);
    }

    QStringList leftovers() const { return QDir(m_dir.path()).entryList({QStringLiteral("*.part")}, QDir::Files); }

    QTemporaryDir m_dir;
};

TEST_F(StreamJoinTest, InitSectionsLeadEachSwitchAndTheFileReplacesAnEarlierOne)
{
    const QString a = write(QStringLiteral("a.init"), "A");
    const QString b = write(QStringLiteral("b.init"), "B");
    const QString s1 = write(QStringLiteral("1.seg"), "1");
    const QString s2 = write(QStringLiteral("2.seg"), "2");
    const QString s3 = write(QStringLiteral("3.seg"), "3");
    write(QStringLiteral("track"), "an earlier, longer run's track");
    ASSERT_TRUE(StreamJoin::join({{a, s1}, {a, s2}, {b, s3}, {QString(), s1}}, path(QStringLiteral("track"))));
    EXPECT_EQ(readAll(path(QStringLiteral("track"))), QByteArray("A12B31"));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(StreamJoinTest, AFailureLeavesNoFileAndNoPart)
{
    const QString s1 = write(QStringLiteral("1.seg"), "1");
    EXPECT_FALSE(StreamJoin::join({{QString(), s1}, {QString(), path(QStringLiteral("missing.seg"))}},
                                  path(QStringLiteral("track"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("track"))));
    // An earlier whole file stays as it was.
    write(QStringLiteral("kept"), "whole");
    EXPECT_FALSE(StreamJoin::join({{QString(), path(QStringLiteral("missing.seg"))}}, path(QStringLiteral("kept"))));
    EXPECT_EQ(readAll(path(QStringLiteral("kept"))), QByteArray("whole"));
    EXPECT_FALSE(StreamJoin::writeWhole(path(QStringLiteral("no/such/folder/seg")), "x"));
    EXPECT_TRUE(leftovers().isEmpty());
}

} // namespace
