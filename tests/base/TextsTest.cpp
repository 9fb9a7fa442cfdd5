#include "base/Texts.h"

#include <gtest/gtest.h>

namespace {

class TextsTest : public ::testing::Test
{
protected:
    void TearDown() override { Texts::init(QStringLiteral("EN")); }
};

TEST_F(TextsTest, LanguageCodePicksTheTable)
{
    struct Row
    {
        const char16_t* role;
        const char16_t* english;
        const char16_t* russian;
    };
    const Row rows[] = {
        {u"Unnamed media file", u"Unnamed media file", u"Безымянный медиафайл"},
        {u"Audio Record ", u"Audio Record ", u"Аудиозапись "},
        {u"Size (sort item)", u"Size", u"Размеру"},
        {u"Size", u"Size", u"Размер"},
        // The English wording differs from the role: mended texts keep their role.
        {u"Play\tDblClick", u"Play\tDouble-click", u"Проиграть\tДвойной щелчок"},
        {u"Show", u"Show", u"Показать "},
        {u"Сonversion parameters", u"Conversion parameters", u"Параметры конвертирования"},
    };
    for (const Row& row : rows) {
        Texts::init(QStringLiteral("EN"));
        EXPECT_EQ(tx(row.role), QString::fromUtf16(row.english));
        Texts::init(QStringLiteral("RU"));
        EXPECT_EQ(tx(row.role), QString::fromUtf16(row.russian));
    }
}

TEST_F(TextsTest, OnlyExactlyEnSelectsEnglish)
{
    Texts::init(QStringLiteral("en"));
    EXPECT_EQ(Texts::languageCode(), QStringLiteral("RU"));
    Texts::init(QStringLiteral("EN"));
    EXPECT_EQ(Texts::languageCode(), QStringLiteral("EN"));
    EXPECT_EQ(Texts::displayName(), QStringLiteral("Trawlix"));
}

TEST_F(TextsTest, UnknownRoleShowsItselfRatherThanNothing)
{
    EXPECT_FALSE(Texts::hasRole(u"No such text"));
    EXPECT_EQ(tx(u"No such text"), QStringLiteral("No such text"));
}

TEST_F(TextsTest, LinkPromptClosesItsBracketInRussianOnly)
{
    const QString link = QStringLiteral("http://127.0.0.1/watch");
    EXPECT_EQ(Texts::linkPrompt(link),
              QStringLiteral("Enter the link of the video you want to download: e.g. ") + link);
    Texts::init(QStringLiteral("RU"));
    EXPECT_EQ(Texts::linkPrompt(link),
              QStringLiteral("Вставьте ссылку на видео: (например, ") + link + QLatin1Char(')'));
}

} // namespace
