#include "download/PageTitle.h"
#include "base/Texts.h"

#include <gtest/gtest.h>

namespace {

// Pages arrive as bytes widened one to one, as the page reader hands them over.
QString widened(const QByteArray& utf8)
{
    return QString::fromLatin1(utf8);
}

struct TitleCase
{
    const char* what;
    QByteArray html;
    QString expected;
};

class PageTitleTest : public ::testing::TestWithParam<TitleCase>
{
protected:
    void SetUp() override { Texts::init(QStringLiteral("EN")); }
};

TEST_P(PageTitleTest, ReadsTitle)
{
    EXPECT_EQ(pageTitle(widened(GetParam().html)), GetParam().expected) << GetParam().what;
}

const QString Seventy = QString(70, QLatin1Char('a'));

INSTANTIATE_TEST_SUITE_P(
    Titles,
    PageTitleTest,
    ::testing::Values(
        TitleCase{"capital tags, double space, entity", "<HTML><TITLE>My  Page &amp; More</TITLE>",
                  u"My Page & More"_qs},
        TitleCase{"no title element", "<html><body>x</body></html>", u"Unnamed media file"_qs},
        TitleCase{"only an opening tag", "<title>never closed", u"Unnamed media file"_qs},
        TitleCase{"closing tag first", "</title><title>late", QString()},
        TitleCase{"first title wins", "<title>one</title><title>two</title>", u"one"_qs},
        TitleCase{"white space", "<title>\n\t  Hello\r\n  World \t</title>", u"Hello World"_qs},
        TitleCase{"each entity once, in order", "<title>&amp;quot;</title>", u"&quot;"_qs},
        TitleCase{"quotes and dashes", "<title>&ldquo;A&rdquo; &ndash; &#39;b&#39; &mdash; &laquo;c&raquo;</title>",
                  u"\"A\" - 'b' - \"c\""_qs},
        TitleCase{"deleted entities", "<title>a&micro;b&middot;c&para;d&bull;e&pound;f</title>", u"abcdef"_qs},
        TitleCase{"symbols", "<title>&copy; &reg; &trade; &euro; &sect;</title>", u"© ® ™ € §"_qs},
        TitleCase{"case-sensitive entities", "<title>&AMP; &Prime; &prime;</title>", u"&AMP; \" '"_qs},
        TitleCase{"numeric entities stay", "<title>&#8211;&#x27;</title>", u"&#8211;&#x27;"_qs},
        TitleCase{"UTF-8 letters", "<title>Привет, мир — café</title>", u"Привет, мир — café"_qs},
        TitleCase{"UTF-8 letter ending in 0xA0 at the end", "<title>voilà</title>", u"voilà"_qs},
        TitleCase{"UTF-8 beside an entity", "<title>Ünïcode &copy; 2024</title>", u"Ünïcode © 2024"_qs},
        TitleCase{"single-byte page", "<title>caf\xe9</title>", u"café"_qs},
        TitleCase{"70 characters stay", "<title>" + Seventy.toLatin1() + "</title>", Seventy},
        TitleCase{"80 characters are cut to 70 and ...", "<title>" + QByteArray(80, 'b') + "</title>",
                  QString(70, QLatin1Char('b')) + u"..."_qs},
        TitleCase{"characters, not bytes, are counted", "<title>" + QString(75, QChar(0x0416)).toUtf8() + "</title>",
                  QString(70, QChar(0x0416)) + u"..."_qs}));

TEST(PageTitleLength, EightyCharactersGiveSeventyThree)
{
    Texts::init(QStringLiteral("EN"));
    EXPECT_EQ(pageTitle(u"<title>"_qs + QString(80, QLatin1Char('x')) + u"</title>"_qs).size(), 73);
}

} // namespace
