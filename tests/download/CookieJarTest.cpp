#include "download/CookieJar.h"

#include <gtest/gtest.h>

namespace {

using Pairs = QList<std::pair<QString, QString>>;

TEST(CookieSplit, CookieHeaderValues)
{
    const std::pair<QString, Pairs> cases[] = {
        {u"a=1; b=2"_qs, {{u"a"_qs, u"1"_qs}, {u"b"_qs, u"2"_qs}}},
        {u"a=1"_qs, {{u"a"_qs, u"1"_qs}}},
        {u"a=1;"_qs, {{u"a"_qs, u"1"_qs}}},
        {QString(), {}},
        // The first empty piece ends the list.
        {u"a=1;; b=2"_qs, {{u"a"_qs, u"1"_qs}}},
        {u"; a=1"_qs, {}},
        {u" a = 1 ;\tb=2\t"_qs, {{u"a"_qs, u"1"_qs}, {u"b"_qs, u"2"_qs}}},
        {u"a=b=c"_qs, {{u"a"_qs, u"b=c"_qs}}},
        {u"a="_qs, {{u"a"_qs, QString()}}},
        // Pieces that are no cookie: no '=', no name, a name that is no token.
        {u"flag; =v; b c=1; d\te=2; f\"=3; ok=4"_qs, {{u"ok"_qs, u"4"_qs}}},
        // Nothing that would break the one-line form of the store.
        {u"a=1\r\nX: y; b=2"_qs, {{u"b"_qs, u"2"_qs}}},
        {u"a=x\ty; b=2"_qs, {{u"b"_qs, u"2"_qs}}},
    };
    for (const auto& [header, expected] : cases)
        EXPECT_EQ(CookieJar::split(header), expected) << header.toStdString();
}

TEST(CookieSplit, CountIsBounded)
{
    QString header;
    for (int i = 0; i < 5000; ++i)
        header += QStringLiteral("c%1=%1; ").arg(i);
    const Pairs pairs = CookieJar::split(header);
    ASSERT_EQ(pairs.size(), CookieJar::kMostCookies);
    EXPECT_EQ(pairs.first().first, u"c0"_qs);
}

} // namespace
