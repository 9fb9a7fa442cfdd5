#include "ui/MovieRequest.h"

#include <gtest/gtest.h>

namespace {

TEST(MovieRequest, BuildsTheLiteralTexts)
{
    EXPECT_EQ(MovieRequest::playPosition(QStringLiteral("0:01:05"), QStringLiteral("1:00:00"), 2),
              QStringLiteral("<invoke name=\"CallMeFromApplication\" returntype=\"xml\"><arguments><string>0:01:05"
                             "</string><string>1:00:00</string><number>2</number></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::playPosition(QString(), QString(), 100),
              QStringLiteral("<invoke name=\"CallMeFromApplication\" returntype=\"xml\"><arguments><string>"
                             "</string><string></string><number>100</number></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::playButton(QStringLiteral("two")),
              QStringLiteral("<invoke name=\"CallMeFromApplicationSetPlayButton\" returntype=\"xml\"><arguments>"
                             "<string>two</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::playEndAnimation(),
              QStringLiteral("<invoke name=\"CallMeFromApplicationPlayEndAnimation\" returntype=\"xml\"><arguments>"
                             "<string>end</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::volume(105),
              QStringLiteral("<invoke name=\"CallMeFromApplicationSetVolume\" returntype=\"xml\"><arguments>"
                             "<string>105%</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::volumeText(QStringLiteral("Выкл.")),
              QStringLiteral("<invoke name=\"CallMeFromApplicationSetVolume\" returntype=\"xml\"><arguments>"
                             "<string>Выкл.</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::conversionPercent(QStringLiteral("37")),
              QStringLiteral("<invoke name=\"CallMeFromApplicationSetPercent\" returntype=\"xml\"><arguments>"
                             "<string>37</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::monitoringEnabled(),
              QStringLiteral("<invoke name=\"SetFlashMonitoringEnabled\" returntype=\"xml\"><arguments>"
                             "<string>1</string></arguments></invoke>"));
    EXPECT_EQ(MovieRequest::build(QStringLiteral("Burn")),
              QStringLiteral("<invoke name=\"Burn\" returntype=\"xml\"><arguments></arguments></invoke>"));
}

TEST(MovieRequest, ValuesAreNotEscaped)
{
    const QString text = MovieRequest::build(QStringLiteral("X"), {MovieRequest::string(QStringLiteral("a<b&\"c"))});
    EXPECT_TRUE(text.contains(QStringLiteral("<string>a<b&\"c</string>")));
}

TEST(MovieRequest, ReadsNameAndArgumentsBack)
{
    const QString text = MovieRequest::playPosition(QStringLiteral("0:00:07"), QStringLiteral("0:03:00"), 3);
    EXPECT_EQ(MovieRequest::name(text), QStringLiteral("CallMeFromApplication"));
    EXPECT_EQ(MovieRequest::arguments(text),
              QStringList({QStringLiteral("0:00:07"), QStringLiteral("0:03:00"), QStringLiteral("3")}));
    EXPECT_EQ(MovieRequest::arguments(MovieRequest::playPosition({}, {}, 100)),
              QStringList({QString(), QString(), QStringLiteral("100")}));
    EXPECT_TRUE(MovieRequest::name(QStringLiteral("no request")).isEmpty());
    EXPECT_TRUE(MovieRequest::arguments(QStringLiteral("<invoke name=\"A\">")).isEmpty());
    // A value holding a tag-like text is read up to its own closing tag.
    const QString mixed = MovieRequest::build(QStringLiteral("Y"), {MovieRequest::number(QStringLiteral("4")),
                                                                    MovieRequest::string(QStringLiteral("<number>"))});
    EXPECT_EQ(MovieRequest::arguments(mixed), QStringList({QStringLiteral("4"), QStringLiteral("<number>")}));
}

TEST(MovieRequest, ClockTextKeepsHoursModulo24)
{
    const struct
    {
        qint64 seconds;
        const char* expected;
    } cases[] = {
        {0, "0:00:00"},      {59, "0:00:59"},     {61, "0:01:01"},    {3599, "0:59:59"},  {3600, "1:00:00"},
        {36000, "10:00:00"}, {86399, "23:59:59"}, {86400, "0:00:00"}, {90061, "1:01:01"}, {-5, "0:00:00"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(MovieRequest::clockText(row.seconds), QString::fromLatin1(row.expected)) << row.seconds;
}

} // namespace
