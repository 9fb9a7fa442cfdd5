#include "capture/RequestFields.h"

#include <gtest/gtest.h>

namespace {

struct FieldCase
{
    const char* what;
    QByteArray text;
    const char* name; // lower case, with ": " as the analyser asks
    QString expected;
};

// Hostile header sets: a name counts only as a whole header name at the start of a line of the
// request head, never inside another line, the request line, a value or after the head.
const FieldCase kFieldCases[] = {
    {"plain", "GET / HTTP/1.1\r\nCookie: a=1\r\n\r\n", "cookie: ", u"a=1"_qs},
    {"folded case", "GET / HTTP/1.1\r\ncOOKIE: a=1\r\n\r\n", "cookie: ", u"a=1"_qs},
    {"no space after the colon", "GET / HTTP/1.1\r\nCookie:a=1\r\n\r\n", "cookie: ", u"a=1"_qs},
    {"spaces and tabs around the value", "GET / HTTP/1.1\r\nCookie: \t a=1 \t\r\n\r\n", "cookie: ", u"a=1"_qs},
    {"first of two", "GET / HTTP/1.1\r\nCookie: a=1\r\nCookie: b=2\r\n\r\n", "cookie: ", u"a=1"_qs},
    {"name as the end of a longer name", "GET / HTTP/1.1\r\nX-Cookie: stolen=1\r\n\r\n", "cookie: ", QString()},
    {"longer name after the real one", "GET / HTTP/1.1\r\nSet-Cookie2: x\r\nCookie: a=1\r\n\r\n",
     "cookie: ", u"a=1"_qs},
    {"name as the start of a longer name", "GET / HTTP/1.1\r\nCookies: x=1\r\n\r\n", "cookie: ", QString()},
    {"inside another header's value", "GET / HTTP/1.1\r\nX-Note: Cookie: stolen=1\r\n\r\n", "cookie: ", QString()},
    {"in the request line", "GET /?Cookie:%20x HTTP/1.1\r\nHost: a\r\n\r\n", "cookie: ", QString()},
    {"request line holding a line break", "GET /\nCookie: x HTTP/1.1\r\nHost: a\r\n\r\n", "cookie: ", QString()},
    {"after the head", "GET / HTTP/1.1\r\nHost: a\r\n\r\nCookie: x\r\n", "cookie: ", QString()},
    {"folded continuation line", "GET / HTTP/1.1\r\nX-Note: a\r\n Cookie: x\r\n\r\n", "cookie: ", QString()},
    {"space before the colon", "GET / HTTP/1.1\r\nCookie : x\r\n\r\n", "cookie: ", QString()},
    {"missing line end", "GET / HTTP/1.1\r\nCookie: a=1", "cookie: ", QString()},
    {"bare line feeds", "GET / HTTP/1.1\nCookie: a=1\n\n", "cookie: ", QString()},
    {"lone line feed inside the value", "GET / HTTP/1.1\r\nCookie: a=1\nHost: x\r\n\r\n", "cookie: ", QString()},
    {"lone carriage return inside the value", "GET / HTTP/1.1\r\nHost: a\rb\r\n\r\n", "host: ", QString()},
    {"empty value", "GET / HTTP/1.1\r\nCookie:\r\n\r\n", "cookie: ", QString()},
    {"user agent", "GET / HTTP/1.1\r\nX-User-Agent: evil\r\nUser-Agent: ok\r\n\r\n", "user-agent: ", u"ok"_qs},
};

class RequestFieldValue : public testing::TestWithParam<FieldCase>
{
};

TEST_P(RequestFieldValue, MatchesWholeHeaderNamesAtLineStarts)
{
    const FieldCase& c = GetParam();
    EXPECT_EQ(RequestFields::headerValue(c.text, c.name), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Headers, RequestFieldValue, testing::ValuesIn(kFieldCases));

TEST(RequestFieldAddress, HostComesOnlyFromTheHostHeader)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"GET /v.mp4 HTTP/1.1\r\nHost: media.test\r\n\r\n", u"http://media.test/v.mp4"_qs},
        {"GET /v.mp4 HTTP/1.1\r\nX-Forwarded-Host: other.test\r\nHost: media.test\r\n\r\n",
         u"http://media.test/v.mp4"_qs},
        {"GET /v.mp4 HTTP/1.1\r\nX-Forwarded-Host: other.test\r\n\r\n", u"http:///v.mp4"_qs},
        {"GET /v.mp4 HTTP/1.1\r\nhOsT: media.test\r\n\r\n", u"http://media.test/v.mp4"_qs},
        {"GET /v.mp4 HTTP/1.1\r\nHost: media.test", u"http:///v.mp4"_qs}, // host line not ended
        // The path ends at the first space or line end: no line break gets into an address.
        {"GET /v.mp4\r\nHost: media.test\r\n\r\n", u"http://media.test/v.mp4"_qs},
        {"GET /unfinished", u"http:///unfinished"_qs},
        // Nor a NUL or another control character.
        {QByteArray("GET /v.mp4\0x HTTP/1.1", 21), u"http:///v.mp4"_qs},
        {"GET /v\tx.mp4", u"http:///v"_qs},
    };
    for (const auto& [text, address] : cases)
        EXPECT_EQ(RequestFields::address(text), address) << text.toStdString();
}

} // namespace
