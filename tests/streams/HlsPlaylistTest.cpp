#include "streams/HlsPlaylist.h"
#include "streams/StreamLimits.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

const QUrl Address(QStringLiteral("http://127.0.0.1/show/media/index.m3u8"));

HlsPlaylist parsed(const char* text, const QUrl& address = Address)
{
    StreamResult<HlsPlaylist> result = HlsPlaylist::parse(QByteArrayView(text), address);
    EXPECT_TRUE(result.ok()) << result.error().text.toStdString();
    return result.ok() ? result.value() : HlsPlaylist{};
}

StreamError failed(QByteArrayView text)
{
    StreamResult<HlsPlaylist> result = HlsPlaylist::parse(text, Address);
    EXPECT_FALSE(result.ok()) << text.toByteArray().left(200).constData();
    return result.ok() ? StreamError{} : result.error();
}

QUrl url(const char* text)
{
    return QUrl(QString::fromLatin1(text));
}

TEST(HlsPlaylistTest, MasterPlaylistVariantsAndAudioRenditions)
{
    const HlsPlaylist playlist = parsed(R"(#EXTM3U
#EXT-X-VERSION:4
#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID="aac",NAME="English",LANGUAGE="en",DEFAULT=YES,AUTOSELECT=YES,URI="audio/en.m3u8"
#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID="aac",NAME="Deutsch",LANGUAGE="de",DEFAULT=NO,URI="/audio/de.m3u8"
#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID="subs",NAME="English",URI="subs.m3u8"
#EXT-X-STREAM-INF:BANDWIDTH=1280000,AVERAGE-BANDWIDTH=1000000,RESOLUTION=1280x720,FRAME-RATE=29.970,CODECS="avc1.4d401f,mp4a.40.2",AUDIO="aac"
low/index.m3u8
# a comment line

#EXT-X-STREAM-INF:BANDWIDTH=64000
https://cdn.example.test/v/720.m3u8?token=a%2Cb
)");
    ASSERT_EQ(playlist.kind, HlsPlaylist::Kind::Master);
    ASSERT_EQ(playlist.variants.size(), 2);
    const StreamVariant& first = playlist.variants[0];
    EXPECT_EQ(first.url, url("http://127.0.0.1/show/media/low/index.m3u8"));
    EXPECT_EQ(first.bandwidth, 1280000);
    EXPECT_EQ(first.averageBandwidth, 1000000);
    EXPECT_EQ(first.width, 1280);
    EXPECT_EQ(first.height, 720);
    EXPECT_DOUBLE_EQ(first.frameRate, 29.97);
    EXPECT_EQ(first.codecs, QStringLiteral("avc1.4d401f,mp4a.40.2"));
    EXPECT_EQ(first.audioGroup, QStringLiteral("aac"));
    EXPECT_EQ(playlist.variants[1].url, url("https://cdn.example.test/v/720.m3u8?token=a%2Cb"));
    EXPECT_EQ(playlist.variants[1].width, 0);

    ASSERT_EQ(playlist.audio.size(), 2) << "subtitles are not audio";
    EXPECT_EQ(playlist.audio[0].name, QStringLiteral("English"));
    EXPECT_EQ(playlist.audio[0].language, QStringLiteral("en"));
    EXPECT_TRUE(playlist.audio[0].isDefault);
    EXPECT_TRUE(playlist.audio[0].autoselect);
    EXPECT_EQ(playlist.audio[0].url, url("http://127.0.0.1/show/media/audio/en.m3u8"));
    EXPECT_FALSE(playlist.audio[1].isDefault);
    EXPECT_FALSE(playlist.audio[1].autoselect);
    EXPECT_EQ(playlist.audio[1].url, url("http://127.0.0.1/audio/de.m3u8"));
}

TEST(HlsPlaylistTest, MediaPlaylistSegmentsSequenceAndDiscontinuity)
{
    const HlsPlaylist playlist = parsed("#EXTM3U\r\n"
                                        "#EXT-X-TARGETDURATION:6\r\n"
                                        "#EXT-X-MEDIA-SEQUENCE:41\r\n"
                                        "#EXT-X-PLAYLIST-TYPE:VOD\r\n"
                                        "#EXTINF:5.5,first\r\n"
                                        "seg41.ts\r\n"
                                        "#EXT-X-DISCONTINUITY\r\n"
                                        "#EXTINF:6,\r\n"
                                        "../other/seg42.ts\r\n"
                                        "#EXTINF:2.25\r\n"
                                        "seg43.ts\r\n"
                                        "#EXT-X-ENDLIST\r\n");
    ASSERT_EQ(playlist.kind, HlsPlaylist::Kind::Media);
    EXPECT_DOUBLE_EQ(playlist.targetDuration, 6);
    EXPECT_EQ(playlist.mediaSequence, 41);
    EXPECT_TRUE(playlist.endList);
    EXPECT_EQ(playlist.playlistType, HlsPlaylist::PlaylistType::Vod);
    EXPECT_FALSE(playlist.live());
    ASSERT_EQ(playlist.segments.size(), 3);
    EXPECT_EQ(playlist.segments[0].url, url("http://127.0.0.1/show/media/seg41.ts"));
    EXPECT_EQ(playlist.segments[1].url, url("http://127.0.0.1/show/other/seg42.ts"));
    EXPECT_EQ(playlist.segments[0].sequence, 41);
    EXPECT_EQ(playlist.segments[2].sequence, 43);
    EXPECT_FALSE(playlist.segments[0].discontinuity);
    EXPECT_TRUE(playlist.segments[1].discontinuity);
    EXPECT_FALSE(playlist.segments[2].discontinuity);
    EXPECT_DOUBLE_EQ(playlist.duration(), 13.75);
    EXPECT_EQ(playlist.segments[0].key.method, SegmentKey::Method::None);
    EXPECT_FALSE(playlist.segments[0].range);
}

TEST(HlsPlaylistTest, LiveUnlessEndListOrVod)
{
    EXPECT_TRUE(parsed("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.ts\n").live());
    EXPECT_TRUE(parsed("#EXTM3U\n#EXT-X-PLAYLIST-TYPE:EVENT\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.ts\n").live());
    EXPECT_FALSE(parsed("#EXTM3U\n#EXT-X-PLAYLIST-TYPE:VOD\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.ts\n").live());
    EXPECT_FALSE(parsed("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n").live());
    EXPECT_FALSE(parsed("#EXTM3U \r\n#EXT-X-TARGETDURATION:2\t\n#EXTINF:2,\na.ts \n#EXT-X-ENDLIST \r\n").live())
        << "white space after a tag";
}

TEST(HlsPlaylistTest, ByteRangesWithTheImplicitOffsetAndInitSections)
{
    const HlsPlaylist playlist = parsed(R"(#EXTM3U
#EXT-X-TARGETDURATION:4
#EXT-X-MAP:URI="main.mp4",BYTERANGE="720@0"
#EXTINF:4,
#EXT-X-BYTERANGE:1000@720
main.mp4
#EXTINF:4,
#EXT-X-BYTERANGE:2000
main.mp4
#EXT-X-MAP:URI="init2.mp4"
#EXTINF:4,
#EXT-X-BYTERANGE:500@0
other.mp4
#EXTINF:4,
last.m4s
#EXT-X-ENDLIST
)");
    ASSERT_EQ(playlist.segments.size(), 4);
    ASSERT_EQ(playlist.initSections.size(), 2);
    EXPECT_EQ(playlist.initSections[0].url, url("http://127.0.0.1/show/media/main.mp4"));
    EXPECT_EQ(playlist.initSections[0].range, (ByteRange{0, 720}));
    EXPECT_FALSE(playlist.initSections[1].range);
    EXPECT_EQ(playlist.segments[0].range, (ByteRange{720, 1000}));
    EXPECT_EQ(playlist.segments[1].range, (ByteRange{1720, 2000})) << "the offset follows the previous sub-range";
    EXPECT_EQ(playlist.segments[1].range->last(), 3719);
    EXPECT_EQ(playlist.segments[2].range, (ByteRange{0, 500}));
    EXPECT_FALSE(playlist.segments[3].range);
    EXPECT_EQ(playlist.segments[0].initSection, 0);
    EXPECT_EQ(playlist.segments[1].initSection, 0);
    EXPECT_EQ(playlist.segments[2].initSection, 1);
    EXPECT_EQ(playlist.segments[3].initSection, 1);

    // Without an offset the range continues only a sub-range of the same resource.
    const StreamError other = failed("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\n#EXT-X-BYTERANGE:10@0\na.ts\n"
                                     "#EXTINF:4,\n#EXT-X-BYTERANGE:10\nb.ts\n");
    EXPECT_EQ(other.code, StreamError::Code::Malformed);
    EXPECT_TRUE(other.text.contains(QStringLiteral("line 8"))) << other.text.toStdString();
    failed("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\n#EXT-X-BYTERANGE:10\na.ts\n");
    failed("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\n#EXT-X-BYTERANGE:10@0\na.ts\n#EXTINF:4,\nc.ts\n"
           "#EXTINF:4,\n#EXT-X-BYTERANGE:10\nc.ts\n");
}

TEST(HlsPlaylistTest, Aes128KeysTakeTheirIvFromTheTagOrTheSequenceNumber)
{
    const HlsPlaylist playlist = parsed(R"(#EXTM3U
#EXT-X-TARGETDURATION:4
#EXT-X-MEDIA-SEQUENCE:258
#EXT-X-KEY:METHOD=AES-128,URI="keys/k1.bin"
#EXTINF:4,
a.ts
#EXT-X-KEY:METHOD=AES-128,URI="https://keys.example.test/k2",IV=0x000102030405060708090A0B0C0D0E0F,KEYFORMAT="identity"
#EXTINF:4,
b.ts
#EXT-X-KEY:METHOD=AES-128,URI="k3",IV=0xff
#EXTINF:4,
c.ts
#EXT-X-KEY:METHOD=NONE
#EXTINF:4,
d.ts
)");
    ASSERT_EQ(playlist.segments.size(), 4);
    const SegmentKey& first = playlist.segments[0].key;
    EXPECT_EQ(first.method, SegmentKey::Method::Aes128);
    EXPECT_EQ(first.url, url("http://127.0.0.1/show/media/keys/k1.bin"));
    EXPECT_EQ(first.iv.toHex(), QByteArray("00000000000000000000000000000102")) << "sequence 258, big-endian";
    EXPECT_EQ(playlist.segments[1].key.url, url("https://keys.example.test/k2"));
    EXPECT_EQ(playlist.segments[1].key.iv.toHex(), QByteArray("000102030405060708090a0b0c0d0e0f"));
    EXPECT_EQ(playlist.segments[2].key.iv.toHex(), QByteArray("000000000000000000000000000000ff"));
    EXPECT_EQ(playlist.segments[3].key.method, SegmentKey::Method::None);
    EXPECT_FALSE(playlist.isProtected);

    for (const char* key : {
             "#EXT-X-KEY:METHOD=AES-128",           // no URI
             "#EXT-X-KEY:URI=\"k\"",                // no METHOD
             "#EXT-X-KEY:METHOD=AES-256,URI=\"k\"", // unknown METHOD
             "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x"
             "000102030405060708090A0B0C0D0E0F00",                   // 33 digits
             "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=12",            // not 0x
             "#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0xZZ",          // not hex
             "#EXT-X-KEY:METHOD=AES-128,URI=k",                      // URI unquoted
             "#EXT-X-KEY:METHOD=AES-128,URI=\"file:///etc/passwd\"", // not http
         }) {
        const QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n" + QByteArray(key) + "\n#EXTINF:4,\na.ts\n";
        failed(text);
    }
}

TEST(HlsPlaylistTest, ProtectedKeysMarkThePlaylist)
{
    for (const char* key : {
             "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://key\",KEYFORMAT=\"com.apple.streamingkeydelivery\"",
             "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k.bin\"",
             "#EXT-X-KEY:METHOD=SAMPLE-AES-CTR,URI=\"data:text/plain;base64,AAAA\"",
             "#EXT-X-KEY:METHOD=AES-128,URI=\"skd://asset\"",
             "#EXT-X-KEY:METHOD=AES-128,URI=\"k.bin\",KEYFORMAT=\"urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed\"",
         }) {
        const QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n" + QByteArray(key) + "\n#EXTINF:4,\na.ts\n";
        StreamResult<HlsPlaylist> result = HlsPlaylist::parse(text, Address);
        ASSERT_TRUE(result.ok()) << key << ": " << result.error().text.toStdString();
        EXPECT_TRUE(result.value().isProtected) << key;
        EXPECT_TRUE(result.value().segments.isEmpty()) << key;
    }
    const HlsPlaylist master = parsed(
        "#EXTM3U\n#EXT-X-SESSION-KEY:METHOD=SAMPLE-AES,URI=\"skd://x\",KEYFORMAT=\"com.apple.streamingkeydelivery\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n");
    EXPECT_TRUE(master.isProtected);
}

TEST(HlsPlaylistTest, AttributeListsAreReadExactly)
{
    // Quoted strings may hold commas and "=": the list splits only between attributes.
    const HlsPlaylist playlist = parsed("#EXTM3U\n#EXT-X-STREAM-INF:CODECS=\"avc1.64001f,mp4a.40.2\",BANDWIDTH=5,"
                                        "AUDIO=\"a=b\"\nv.m3u8\n");
    ASSERT_EQ(playlist.variants.size(), 1);
    EXPECT_EQ(playlist.variants[0].codecs, QStringLiteral("avc1.64001f,mp4a.40.2"));
    EXPECT_EQ(playlist.variants[0].audioGroup, QStringLiteral("a=b"));

    for (const char* attributes : {
             "BANDWIDTH=1,BANDWIDTH=2",         // a name twice
             "BANDWIDTH=1,",                    // trailing comma
             "BANDWIDTH=1, RESOLUTION=1x1",     // white space
             "bandwidth=1",                     // lower-case name
             "BANDWIDTH=\"1\"",                 // quoted number
             "BANDWIDTH=-1",                    // signed
             "BANDWIDTH=1e6",                   // not decimal
             "BANDWIDTH=1234567890123456789",   // past 18 digits
             "BANDWIDTH=1,RESOLUTION=1280*720", // not WxH
             "BANDWIDTH=1,RESOLUTION=1280x",    //
             "BANDWIDTH=1,FRAME-RATE=-25",      //
             "BANDWIDTH=1,CODECS=\"avc1",       // unclosed quote
             "BANDWIDTH=1,CODECS=avc1",         // unquoted string
             "BANDWIDTH=1,AVERAGE-BANDWIDTH=x", //
             "BANDWIDTH=",                      // empty value
             "=1",                              // no name
             "RESOLUTION=1x1",                  // no BANDWIDTH
         }) {
        failed("#EXTM3U\n#EXT-X-STREAM-INF:" + QByteArray(attributes) + "\nv.m3u8\n");
    }
    for (const char* media : {
             "TYPE=AUDIO,GROUP-ID=\"a\"",                        // no NAME
             "TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"n\",DEFAULT=yes", // YES or NO only
             "TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"n\",URI=u",       // URI unquoted
             "TYPE=\"AUDIO\",GROUP-ID=\"a\",NAME=\"n\"",         // TYPE quoted
         }) {
        failed("#EXTM3U\n#EXT-X-MEDIA:" + QByteArray(media) + "\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n");
    }
}

TEST(HlsPlaylistTest, MalformedPlaylistsGiveAClearError)
{
    struct Row
    {
        const char* text;
        const char* says;
    };
    const Row rows[] = {
        {"", "first line"},
        {"<html>not a playlist</html>\n", "first line"},
        {"#EXTM3U\n", "neither"},
        {"#EXTM3U\n#EXTINF:4,\n", "TARGETDURATION"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\na.ts\n", "without EXTINF"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:four,\na.ts\n", "EXTINF"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4.5\n#EXTINF:4,\na.ts\n", "TARGETDURATION"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\na.ts\n#EXT-X-MEDIA-SEQUENCE:3\n", "MEDIA-SEQUENCE"},
        {"#EXTM3U\n#EXT-X-PLAYLIST-TYPE:LIVE\n", "PLAYLIST-TYPE"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-MAP:BYTERANGE=\"1@0\"\n", "EXT-X-MAP"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-MAP:URI=\"i.mp4\",BYTERANGE=\"x\"\n", "BYTERANGE"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-BYTERANGE:0@5\n", "BYTERANGE"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n", "without an address"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n#EXT-X-STREAM-INF:BANDWIDTH=2\nv.m3u8\n", "two EXT-X-STREAM-INF"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n#EXT-X-TARGETDURATION:4\n", "mixed"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\nhttp://[::1\n", "not valid"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\nftp://127.0.0.1/a.ts\n", "not http"},
    };
    for (const Row& row : rows) {
        const StreamError error = failed(QByteArrayView(row.text));
        EXPECT_TRUE(error.text.contains(QLatin1String(row.says))) << row.text << " -> " << error.text.toStdString();
        EXPECT_TRUE(error.text.startsWith(QLatin1String("playlist")) ||
                    error.text.startsWith(QLatin1String("an address")) ||
                    error.text.startsWith(QLatin1String("attribute")))
            << error.text.toStdString();
    }
}

TEST(HlsPlaylistTest, Bounds)
{
    // Size.
    QByteArray big("#EXTM3U\n#EXT-X-TARGETDURATION:1\n");
    big.append(StreamLimits::MaxManifestBytes - big.size() + 1, '#');
    EXPECT_EQ(failed(big).code, StreamError::Code::TooLarge);

    // Segments: exactly the bound passes, one more does not.
    QByteArray many("#EXTM3U\n#EXT-X-TARGETDURATION:1\n");
    for (qsizetype i = 0; i < StreamLimits::MaxSegments; ++i)
        many.append("#EXTINF:1,\ns.ts\n");
    StreamResult<HlsPlaylist> atBound = HlsPlaylist::parse(many, Address);
    ASSERT_TRUE(atBound.ok()) << atBound.error().text.toStdString();
    EXPECT_EQ(atBound.value().segments.size(), StreamLimits::MaxSegments);
    many.append("#EXTINF:1,\ns.ts\n");
    EXPECT_EQ(failed(many).code, StreamError::Code::TooManySegments);

    // Line, address and attribute value lengths.
    const QByteArray longLine = "#EXTM3U\n#" + QByteArray(StreamLimits::MaxLineLength, 'x') + "\n";
    EXPECT_EQ(failed(longLine).code, StreamError::Code::TooLong);
    const QByteArray longUri =
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + QByteArray(StreamLimits::MaxUriLength + 1, 'a') + "\n";
    EXPECT_EQ(failed(longUri).code, StreamError::Code::TooLong);
    const QByteArray longValue = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,CODECS=\"" +
                                 QByteArray(StreamLimits::MaxAttributeValueLength + 1, 'c') + "\"\nv.m3u8\n";
    EXPECT_EQ(failed(longValue).code, StreamError::Code::TooLong);
    QByteArray manyAttributes("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1");
    for (int i = 0; i < StreamLimits::MaxAttributes; ++i)
        manyAttributes.append(",X-" + QByteArray::number(i) + "=1");
    EXPECT_EQ(failed(manyAttributes + "\nv.m3u8\n").code, StreamError::Code::TooLong);

    // Variants.
    QByteArray variants("#EXTM3U\n");
    for (int i = 0; i <= StreamLimits::MaxVariants; ++i)
        variants.append("#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n");
    EXPECT_EQ(failed(variants).code, StreamError::Code::TooLong);
}

} // namespace
