#include "base/UsageCounters.h"
#include "base/OutputName.h"
#include "base/Settings.h"
#include "base/Texts.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(UsageCounters, RunCountsAddToStoredValuesOnly)
{
    QTemporaryDir dir;
    Settings settings(dir.path() + QStringLiteral("/Trawlix.conf"));
    settings.write(QStringLiteral("_DownloadedMediaByTraffic"), QStringLiteral("5"));
    settings.write(QStringLiteral("_CatchedMusicFromCache"), QStringLiteral("many"));
    // "_DownloadedVideosByURL" has no value: nobody seeded it.

    UsageCounters::resetForTests();
    UsageCounters::countMediaByTraffic();
    UsageCounters::countMediaByTraffic();
    UsageCounters::countVideoByUrl();
    UsageCounters::countMusicFromCache();
    const UsageCounters::RunCounts counts = UsageCounters::runCounts();
    EXPECT_EQ(counts.mediaByTraffic, 2);
    EXPECT_EQ(counts.videosByUrl, 1);
    EXPECT_EQ(counts.musicFromCache, 1);

    UsageCounters::addRunCountsTo(settings, counts);
    EXPECT_EQ(settings.read(QStringLiteral("_DownloadedMediaByTraffic")), QStringLiteral("7"));
    EXPECT_TRUE(settings.read(QStringLiteral("_DownloadedVideosByURL")).isEmpty());
    EXPECT_EQ(settings.read(QStringLiteral("_CatchedMusicFromCache")), QStringLiteral("many"));
    UsageCounters::resetForTests();
}

TEST(OutputName, CleansTitlesIntoFileNames)
{
    Texts::init(QStringLiteral("EN"));
    const struct
    {
        QString title;
        QString expected;
    } cases[] = {
        {QStringLiteral("Plain title"), QStringLiteral("Plain title")},
        {QStringLiteral("a\\b/c|d:e*f?g>h<i\"j\tk"), QStringLiteral("abcdefghijk")},
        {QStringLiteral("  padded  "), QStringLiteral("padded")},
        {QStringLiteral(" :?* "), QStringLiteral("Unnamed media file")},
        {QString(), QStringLiteral("Unnamed media file")},
        {QString(255, QLatin1Char('x')), QString(255, QLatin1Char('x'))},
        {QString(256, QLatin1Char('y')), QString(255, QLatin1Char('y'))},
        // Cut first, then cleaned: forbidden characters past 255 never count.
        {QString(254, QLatin1Char('z')) + QStringLiteral("?ab"), QString(254, QLatin1Char('z'))},
        {QStringLiteral("Ролик: «тест»"), QStringLiteral("Ролик «тест»")},
    };
    for (const auto& row : cases)
        EXPECT_EQ(OutputName::clean(row.title), row.expected) << qPrintable(row.title.left(40));
}

TEST(OutputName, NamesFitTheFileSystemsByteLimit)
{
    Texts::init(QStringLiteral("EN"));
    // 150 CJK characters are 450 bytes of UTF-8.
    const QString cjk = QString(150, QChar(0x6f22));
    EXPECT_EQ(OutputName::clean(cjk), QString(85, QChar(0x6f22)));
    EXPECT_EQ(OutputName::clean(cjk, 4).toUtf8().size(), 249);
    // A character outside the basic plane is kept whole or not at all.
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUcs4(U"\U0001F3B5");
    const QString cut = OutputName::clean(emoji, 2);
    EXPECT_EQ(cut.toUtf8().size(), 252);
    EXPECT_FALSE(cut.back().isHighSurrogate());
    // Control characters never reach a file name; a lone surrogate becomes a replacement mark.
    EXPECT_EQ(OutputName::clean(QStringLiteral("line\none\r\x7f")), QStringLiteral("lineone"));
    EXPECT_EQ(OutputName::clean(QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b")), QStringLiteral("a\uFFFDb"));
    // Spaces left at the cut are trimmed too.
    EXPECT_EQ(OutputName::clean(QString(250, QLatin1Char('w')) + QStringLiteral(" xyz"), 4),
              QString(250, QLatin1Char('w')));
}

} // namespace
