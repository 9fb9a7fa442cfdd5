#include "LibraryFixture.h"

#include "library/AudioNames.h"
#include "library/AudioTitle.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"

namespace {

QString probe(const char* duration)
{
    return QStringLiteral("{\n    \"format\": {\n        \"duration\": \"") + QString::fromLatin1(duration) +
           QStringLiteral("\"\n    }\n}\n");
}

TEST(DurationFromProbe, FormatsLikeFfmpegAndRejectsTheRest)
{
    const struct
    {
        QString output;
        const char* duration;
    } rows[] = {
        {probe("1.000000"), "00:00:01.00"},
        {probe("5.005000"), "00:00:05.01"}, // rounded to hundredths, as ffmpeg prints it
        {probe("3725.994999"), "01:02:05.99"},
        {probe("59.999"), "00:01:00.00"},
        {probe("360000.000000"), "100:00:00.00"},
        {probe("N/A"), "n/a"},
        {probe("-1.000000"), "n/a"},
        {probe("1e9"), "n/a"},
        {probe("99999999999999.0"), "n/a"},
        {QStringLiteral("{\"format\": {}}"), "n/a"},
        {QStringLiteral("{\"format\": {\"duration\": 5}}"), "n/a"},
        {QStringLiteral("  Duration: 00:00:05.00, start: 0.000000"), "n/a"},
        {QString(), "n/a"},
        {probe("1.0") + QString(70000, u' '), "n/a"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LibraryFormat::durationFromProbe(row.output), QLatin1String(row.duration))
            << row.output.left(80).toStdString();
}

TEST(MetadataDump, EscapedBreaksAndSectionsCannotPassForNames)
{
    const struct
    {
        const char* name;
        const char* dump;
        const char* title;
        const char* artist;
    } rows[] = {
        {"a value's escaped line break", ";FFMETADATA1\ntitle=Real\\\ntitle=Evil\nartist=A\n", "Real\ntitle=Evil", "A"},
        {"a tag name with a line break", ";FFMETADATA1\nx\\\ntitle=Evil\ntitle=Real\n", "Real", ""},
        {"escaped '=' in a name", "title\\=x=Evil\ntitle=Ok\\=1\n", "Ok=1", ""},
        {"comments", ";title=Evil\n#artist=Evil\n", "", ""},
        {"stream and chapter titles", "title=Song\n[STREAM]\ntitle=Evil\n[CHAPTER]\nartist=Evil\n", "Song", ""},
        {"last line without break", "artist=  Band ", "", "Band"},
        {"trailing backslash", "title=x\\", "x", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const AudioNames::Names names = AudioNames::parseMetadataDump(QString::fromUtf8(row.dump));
        EXPECT_EQ(names.title, QString::fromUtf8(row.title));
        EXPECT_EQ(names.artist, QString::fromUtf8(row.artist));
    }
}

class ToolOutputTest : public LibraryFixture
{
};

// ffmpeg prints tag names raw, so a name holding "\n  Duration: ..." forges ffmpeg's own
// duration line, and a tag named "x\ntitle" forges a title line of the metadata dump.
TEST_F(ToolOutputTest, ForgedLinesInTagsOfRealFilesAreNotBelieved)
{
    const QString path = dir() + QStringLiteral("forged.mp3");
    makeAudio(path, 1,
              {QStringLiteral("-metadata"), QStringLiteral("x\n  Duration: 12:34:56.78, start=1"),
               QStringLiteral("-metadata"), QStringLiteral("x\ntitle=Evil")});
    EXPECT_EQ(LibraryInserter::measureDuration(path).left(8), QStringLiteral("00:00:01"));
    // No title or artist frame: the name comes from the dump, which has none either.
    EXPECT_EQ(AudioTitle::read(path), QStringLiteral("MP3-файл от "));
}

} // namespace
