#include "AnalyserHarness.h"

#include <gtest/gtest.h>

namespace {

// One response header block, the settings that differ from "everything on", and the extension
// of the candidate it gives (nullptr: none).
struct TypeCase
{
    const char* name;
    QByteArray headers;
    std::function<void(MediaFilterSettings&)> configure;
    const char* extension;
};

void keep(MediaFilterSettings&)
{}

class MediaTypeTable : public testing::TestWithParam<TypeCase>
{
};

TEST_P(MediaTypeTable, DecidesTheCandidate)
{
    const TypeCase& c = GetParam();
    AnalyserHarness h;
    c.configure(h.settings);
    h.sendRequest(browserRequest("/media"));
    h.sendResponse("HTTP/1.1 200 OK\r\n" + c.headers + "\r\n\r\n");
    const QList<VideoFile> records = h.candidates();
    if (!c.extension) {
        EXPECT_TRUE(records.isEmpty());
        return;
    }
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.at(0).extension, QLatin1String(c.extension));
}

const TypeCase kCases[] = {
    {"flv", "Content-Type: video/x-flv", keep, ".flv"},
    {"mp4", "Content-Type: video/mp4", keep, ".mp4"},
    {"webm", "Content-Type: video/webm", keep, ".webm"},
    {"m4v", "Content-Type: video/x-m4v", keep, ".m4v"},
    {"mov", "Content-Type: video/quicktime", keep, ".mov"},
    {"ogv", "Content-Type: video/ogg", keep, ".ogv"},
    {"mpg", "Content-Type: video/mpeg", keep, ".mpg"},
    {"mkv", "Content-Type: video/x-matroska", keep, ".mkv"},
    {"wmv", "Content-Type: video/x-ms-wmv", keep, ".wmv"},
    {"avi", "Content-Type: video/x-msvideo", keep, ".avi"},
    {"f4f", "Content-Type: video/f4f", keep, ".f4f"},
    {"x-f4f", "Content-Type: video/x-f4f", keep, ".f4f"},
    {"mp3", "Content-Type: audio/mpeg", keep, ".mp3"},
    {"m4a", "Content-Type: audio/mp4", keep, ".m4a"},
    {"bin", "Content-Type: application/octet-stream", keep, ".bin"},
    {"unknown video", "Content-Type: video/x-unknown", keep, nullptr},
    {"unknown audio", "Content-Type: audio/ogg", keep, nullptr},
    {"image", "Content-Type: image/png", keep, nullptr},
    // Header names and media types in any case (Python's server sends "Content-type:").
    {"lower case name", "content-type: video/mp4", keep, ".mp4"},
    {"mixed case name", "Content-type: video/webm", keep, ".webm"},
    {"upper case type", "CONTENT-TYPE: VIDEO/MP4", keep, ".mp4"},
    {"octet upper", "Content-Type: Application/Octet-Stream", keep, ".bin"},
    // A row switched off ends the search, even when a later row matches text further on.
    {"mp4 off", "Content-Type: video/mp4", [](MediaFilterSettings& s) { s.mp4 = false; }, nullptr},
    {"webm off, mpeg later", "Content-Type: video/webm\r\nX-Note: video/mpeg",
     [](MediaFilterSettings& s) { s.webm = false; }, nullptr},
    {"earlier row named later", "Content-Type: video/mp4\r\nX-Note: video/x-flv", keep, ".flv"},
    {"f4f needs no type switch", "Content-Type: video/f4f",
     [](MediaFilterSettings& s) {
         s = MediaFilterSettings{};
         s.downloadHttp = true;
     },
     ".f4f"},
    // Without downloadhttp neither video nor the generic type counts; audio still does.
    {"http off video", "Content-Type: video/mp4", [](MediaFilterSettings& s) { s.downloadHttp = false; }, nullptr},
    {"http off binary", "Content-Type: application/octet-stream",
     [](MediaFilterSettings& s) { s.downloadHttp = false; }, nullptr},
    {"http off audio", "Content-Type: audio/mpeg", [](MediaFilterSettings& s) { s.downloadHttp = false; }, ".mp3"},
    {"music off", "Content-Type: audio/mpeg", [](MediaFilterSettings& s) { s.downloadHttpMusic = false; }, nullptr},
    {"music off video", "Content-Type: video/mp4", [](MediaFilterSettings& s) { s.downloadHttpMusic = false; }, ".mp4"},
    // The generic type lets the scan go on: a later video type replaces its extension, and a
    // video type switched off keeps it.
    {"binary then video", "Content-Type: application/octet-stream\r\nContent-Type: video/mp4", keep, ".mp4"},
    {"binary then video off", "Content-Type: application/octet-stream\r\nContent-Type: video/mp4",
     [](MediaFilterSettings& s) { s.mp4 = false; }, ".bin"},
    {"page", "Content-Type: text/html", keep, nullptr},
    // The name counts only as a whole header name at the start of a line of the response head.
    {"no space after the colon", "Content-Type:video/mp4", keep, ".mp4"},
    {"tab after the colon", "Content-Type:\tvideo/webm", keep, ".webm"},
    {"end of a longer name", "X-Original-Content-Type: video/mp4", keep, nullptr},
    {"inside a value", "X-Note: content-type: video/mp4", keep, nullptr},
    {"space before the colon", "Content-Type : video/mp4", keep, nullptr},
    {"folded line", "X-Note: a\r\n Content-Type: video/mp4", keep, nullptr},
    {"in the body", "Content-Length: 30\r\n\r\nContent-Type: video/mp4", keep, nullptr},
    {"page in the body", "Content-Type: video/mp4\r\n\r\nContent-Type: text/html", keep, ".mp4"},
};

INSTANTIATE_TEST_SUITE_P(Rows, MediaTypeTable, testing::ValuesIn(kCases), [](const auto& row) {
    std::string name = row.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
});

// "text/html" responses record the pages of their client port's requests, oldest first.
TEST(PageHistory, RecordsPagesExceptResourcesAndTheProgramsOwnRequests)
{
    struct Row
    {
        QByteArray path;
        QByteArray userAgent;
        bool recorded;
    };
    const Row rows[] = {
        {"/index.html", "Browser", true},
        {"/", "Browser", true},
        {"/app.js", "Browser", false},
        {"/APP.JS", "Browser", false},
        {"/style.css", "Browser", false},
        {"/feed.xml", "Browser", false},
        {"/a.jpg", "Browser", false},
        {"/a.png", "Browser", false},
        {"/a.gif", "Browser", false},
        {"/favicon.ico", "Browser", false},
        {"/a.jpeg", "Browser", false},
        {"/font.woff", "Browser", false},
        {"/font.woff2", "Browser", true},
        {"/a%20b.html", "Browser", false},
        {"/ads/doubleclick.net/x", "Browser", false},
        {"/facebook.com/dialog/feed", "Browser", false},
        {"/own.html", "Mozilla/5.0 Trawlix/1.0", false},
        {"/empty-agent.html", "", true},
    };
    AnalyserHarness h;
    QStringList expected;
    quint32 sequence = 1;
    for (const Row& row : rows) {
        h.sendRequest(FrameBuilder::requestText(row.path, {"Host: site.test", "User-Agent: " + row.userAgent}),
                      sequence++);
        if (row.recorded)
            expected << QStringLiteral("http://site.test") + QString::fromLatin1(row.path);
    }
    h.sendResponse(FrameBuilder::responseText({"Content-Type: text/html; charset=utf-8"}));
    EXPECT_EQ(h.history.snapshot(), expected);
}

TEST(PageHistory, CandidateTakesTheNewest51PagesNewestFirst)
{
    AnalyserHarness h;
    for (int i = 0; i < 60; ++i)
        h.history.append(QStringLiteral("p%1").arg(i));
    h.sendRequest(browserRequest("/v.mp4"));
    h.sendMediaResponse("video/mp4");
    const QString history = h.candidates().value(0).history;
    const QStringList entries = history.split(QLatin1Char('^'));
    ASSERT_EQ(entries.size(), 52); // 51 entries, each followed by "^"
    EXPECT_EQ(entries.first(), QStringLiteral("p59"));
    EXPECT_EQ(entries.at(50), QStringLiteral("p9"));
    EXPECT_TRUE(entries.last().isEmpty());
}

} // namespace
