#include "library/Id3Scan.h"
#include "library/AudioNames.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

QByteArray synchsafe(quint32 value)
{
    QByteArray out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>(value & 0x7F);
        value >>= 7;
    }
    return out;
}

struct Frame
{
    const char* id;
    int encoding; // -1: no encoding byte is written at all (the size covers only the text)
    QByteArray text;
};

QByteArray bigEndian(quint32 value)
{
    QByteArray out(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 8)
        out[i] = static_cast<char>(value & 0xFF);
    return out;
}

// Frame sizes are synchsafe only from v2.4 on; v2.3 (and the v2.2 layout the scan treats alike)
// stores them as plain 32-bit numbers.
QByteArray frameBytes(const Frame& frame, char version = 3)
{
    QByteArray body;
    if (frame.encoding >= 0)
        body += static_cast<char>(frame.encoding);
    body += frame.text;
    const auto size = static_cast<quint32>(body.size());
    return QByteArray(frame.id, 4) + (version >= 4 ? synchsafe(size) : bigEndian(size)) + QByteArray(2, '\0') + body;
}

QByteArray tag(char version, const QList<Frame>& frames, int padding = 16)
{
    QByteArray body;
    for (const Frame& frame : frames)
        body += frameBytes(frame, version);
    body += QByteArray(padding, '\0');
    // The scan stops at the tag size counted from the file's start, so the size covers the header too.
    const auto size = static_cast<quint32>(body.size() + 10);
    return QByteArray("ID3") + version + '\0' + '\0' + synchsafe(size) + body;
}

struct Case
{
    const char* name;
    QByteArray bytes;
    QString title;
    QString artist;
};

TEST(Id3Scan, FramesAndEncodings)
{
    const QByteArray utf16 = QByteArray("\xFF\xFEH\0i\0", 6);
    const QList<Case> cases = {
        {"v2.3 latin title and artist", tag(3, {{"TIT2", 0, "Song"}, {"TPE1", 0, "Band"}}), QStringLiteral("Song"),
         QStringLiteral("Band")},
        {"v2.2 and v2.4 parse alike", tag(2, {{"TIT2", 0, "Two"}}), QStringLiteral("Two"), {}},
        {"v2.4", tag(4, {{"TPE1", 0, "Four"}}), {}, QStringLiteral("Four")},
        {"latin-1 bytes above 0x7F", tag(3, {{"TIT2", 0, "Caf\xE9"}}), QStringLiteral("Café"), {}},
        {"UTF-16 frames are skipped", tag(3, {{"TIT2", 1, utf16}, {"TPE1", 1, utf16}}), {}, {}},
        {"UTF-16BE and UTF-8 too", tag(4, {{"TIT2", 2, QByteArray("\0H", 2)}, {"TPE1", 3, "x"}}), {}, {}},
        {"unknown encoding reads from byte 10", tag(3, {{"TIT2", 7, "Hey"}}), QStringLiteral("\aHey"), {}},
        {"terminating NUL is dropped", tag(3, {{"TIT2", 0, QByteArray("Name\0", 5)}}), QStringLiteral("Name"), {}},
        {"later frame replaces earlier",
         tag(3, {{"TIT2", 0, "First"}, {"TIT2", 0, "Second"}}),
         QStringLiteral("Second"),
         {}},
        {"no ID3 header", QByteArray("\xFF\xFB\x90\x00TIT2", 8) + QByteArray(64, 'x'), {}, {}},
        {"empty input", QByteArray(), {}, {}},
        {"header only", QByteArray("ID3\3\0\0\0\0\0\x7F", 10), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Id3Names names = Id3Scan::scan(c.bytes);
        EXPECT_EQ(names.title, c.title);
        EXPECT_EQ(names.artist, c.artist);
    }
}

TEST(Id3Scan, FrameSizesAreSynchsafeOnlyInVersion4)
{
    // 200 bytes reads 72 when a v2.3 size is taken as synchsafe, and a v2.4 size of 200 reads
    // 328 when taken as plain; a frame's trailing NUL-free text shows which reading was used.
    const QByteArray text(199, 'n');
    const QByteArray next("Next");
    for (const char version : {char(2), char(3), char(4)}) {
        SCOPED_TRACE(int(version));
        const QByteArray bytes = tag(version, {{"TIT2", 0, text}, {"TPE1", 0, next}});
        const Id3Names names = Id3Scan::scan(bytes);
        EXPECT_EQ(names.title, QString::fromLatin1(text));
        EXPECT_EQ(names.artist, QString::fromLatin1(next));
    }
    // A v2.3 size byte with its high bit set counts in full (0x80 is 128, not 0).
    const QByteArray title128(127, 't');
    EXPECT_EQ(Id3Scan::scan(tag(3, {{"TIT2", 0, title128}, {"TPE1", 0, next}})).title, QString::fromLatin1(title128));
}

TEST(Id3Scan, TruncatedAndOversizedFramesStayInBounds)
{
    QByteArray full = tag(3, {{"TIT2", 0, "Title text"}}, 0);
    // A frame that claims far more bytes than were read keeps to what is there.
    QByteArray huge = full;
    huge.replace(14, 4, synchsafe(0x0FFFFFFF));
    EXPECT_EQ(Id3Scan::scan(huge).title, QStringLiteral("Title text"));
    // Every cut of the tag reads without touching bytes beyond the cut.
    for (qsizetype cut = 0; cut <= full.size(); ++cut) {
        const QByteArray head = full.first(cut);
        const Id3Names names = Id3Scan::scan(head);
        EXPECT_LE(names.title.size(), 10);
    }
}

TEST(Id3Scan, OnlyTheFirst4096BytesAndTheTagSizeAreScanned)
{
    const QByteArray frame = frameBytes({"TIT2", 0, "LateLonger"});
    const QByteArray big = QByteArray("ID3\3\0\0", 6) + synchsafe(0x0FFFFFFF) + QByteArray(5000, '\0');
    QByteArray crossing = big;
    crossing.replace(4088, frame.size(), frame); // the frame header crosses byte 4096
    EXPECT_TRUE(Id3Scan::scan(crossing).title.isEmpty());
    QByteArray cutText = big;
    cutText.replace(4080, frame.size(), frame); // the text is cut at byte 4096
    EXPECT_EQ(Id3Scan::scan(cutText).title, QStringLiteral("LateL"));

    QByteArray beyondSize = tag(3, {{"TIT2", 0, "Kept"}}, 0);
    beyondSize.append(frameBytes({"TPE1", 0, "Outside"}));
    const Id3Names names = Id3Scan::scan(beyondSize);
    EXPECT_EQ(names.title, QStringLiteral("Kept"));
    EXPECT_TRUE(names.artist.isEmpty()) << "a frame past the tag size is not part of the tag";
}

TEST(AudioTitleText, ComposeAndDumpParsing)
{
    EXPECT_EQ(AudioNames::compose(QStringLiteral("T"), QStringLiteral("A"), {}), QStringLiteral("A - T"));
    EXPECT_EQ(AudioNames::compose(QStringLiteral("T"), {}, {}), QStringLiteral("T"));
    EXPECT_EQ(AudioNames::compose({}, QStringLiteral("A"), {}), QStringLiteral("A"));
    EXPECT_EQ(AudioNames::compose({}, {}, {}), QStringLiteral("MP3-файл от "));
    EXPECT_EQ(AudioNames::compose({}, {}, QStringLiteral("01.02.2026 10:11")),
              QStringLiteral("MP3-файл от 01.02.2026 10:11"));

    const AudioNames::Names names = AudioNames::parseMetadataDump(QStringLiteral(
        ";FFMETADATA1\nalbum_artist=Wrong\nartist=  Группа \nsubtitle=Wrong\ntitle=Песня\\=1\nencoder=Lavf\n"));
    EXPECT_EQ(names.artist, QStringLiteral("Группа"));
    EXPECT_EQ(names.title, QStringLiteral("Песня=1"));
    const AudioNames::Names later = AudioNames::parseMetadataDump(QStringLiteral("title=a\ntitle=b\n"));
    EXPECT_EQ(later.title, QStringLiteral("b"));
}

} // namespace
