#include "base/Settings.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    Settings m_settings{m_dir.filePath(QStringLiteral("Trawlix.conf"))};
};

TEST_F(SettingsTest, FreshStoreIsSeededWithTheDefaults)
{
    ASSERT_FALSE(m_settings.exists());
    m_settings.seedDefaultsIfMissing();
    EXPECT_TRUE(m_settings.exists());
    EXPECT_FALSE(m_settings.downloadHttp());
    EXPECT_TRUE(m_settings.flag(QStringLiteral("mp4")));
    EXPECT_FALSE(m_settings.flag(QStringLiteral("quicktime")));
    EXPECT_TRUE(m_settings.accelerator());
    EXPECT_TRUE(m_settings.keepAspect());
    EXPECT_EQ(m_settings.volume(), 100);
    EXPECT_TRUE(m_settings.showMessage());
    EXPECT_TRUE(m_settings.showDialogs());
    EXPECT_EQ(m_settings.read(QStringLiteral("window")), QStringLiteral("NotSet"));
}

TEST_F(SettingsTest, SeedingLeavesAnExistingStoreAlone)
{
    m_settings.write(QStringLiteral("mp4"), QStringLiteral("false"));
    m_settings.seedDefaultsIfMissing();
    EXPECT_FALSE(m_settings.flag(QStringLiteral("mp4")));
    EXPECT_EQ(m_settings.read(QStringLiteral("webm")), QString());
}

TEST_F(SettingsTest, ReadRules)
{
    struct Row
    {
        const char* stored;
        bool flag;
        bool ignoringCase;
    };
    const Row rows[] = {
        {"true", true, true},    {"TRUE", false, true}, {"True", false, true},
        {"false", false, false}, {"", false, false},    {" true", false, false},
    };
    for (const Row& row : rows) {
        m_settings.write(QStringLiteral("showmessage"), QString::fromLatin1(row.stored));
        EXPECT_EQ(m_settings.flag(QStringLiteral("showmessage")), row.flag) << row.stored;
        EXPECT_EQ(m_settings.showMessage(), row.ignoringCase) << row.stored;
    }
    EXPECT_FALSE(m_settings.flag(QStringLiteral("missing")));
}

TEST_F(SettingsTest, VolumeIsADecimalAndMissingGivesZero)
{
    EXPECT_EQ(m_settings.volume(), 0);
    m_settings.write(QStringLiteral("volume"), QStringLiteral("150"));
    EXPECT_EQ(m_settings.volume(), 150);
    m_settings.write(QStringLiteral("volume"), QStringLiteral("loud"));
    EXPECT_EQ(m_settings.volume(), 0);
}

TEST_F(SettingsTest, ValuesPastTheLimitReadAsEmptyAndEmptyTextsAreWritten)
{
    m_settings.write(QStringLiteral("window"), QString(259, QLatin1Char('x')));
    EXPECT_EQ(m_settings.read(QStringLiteral("window")).size(), 259);
    m_settings.write(QStringLiteral("window"), QString(260, QLatin1Char('x')));
    EXPECT_EQ(m_settings.read(QStringLiteral("window")), QString());

    m_settings.write(QStringLiteral("tableview"), QString());
    EXPECT_EQ(m_settings.read(QStringLiteral("tableview")), QString());
}

TEST_F(SettingsTest, WindowPlacementTextRoundTrips)
{
    const QString placement = QStringLiteral("888x700:10;20");
    m_settings.write(QStringLiteral("window"), placement);
    EXPECT_EQ(Settings(m_settings.path()).read(QStringLiteral("window")), placement);
}

TEST(SettingsTable, SaveOrderNamesOnlyKnownValues)
{
    QStringList known;
    for (const Settings::Definition& definition : Settings::table())
        known << QString::fromLatin1(definition.name);
    EXPECT_EQ(Settings::saveOrder().size(), 30);
    for (const QString& name : Settings::saveOrder())
        EXPECT_TRUE(known.contains(name)) << name.toStdString();
}

} // namespace
