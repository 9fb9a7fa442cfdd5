#include "streams/HlsPlaylist.h"

#include "streams/AttributeList.h"
#include "streams/StreamLimits.h"
#include "streams/TextNumbers.h"
#include "streams/UriResolution.h"

#include <cmath>

namespace {

StreamError malformed(const QString& what)
{
    return streamError(StreamError::Code::Malformed, QStringLiteral("playlist: %1").arg(what));
}

StreamError malformedLine(int lineNumber, const char* what)
{
    return malformed(QStringLiteral("line %1: %2").arg(lineNumber).arg(QLatin1String(what)));
}

// The IV of a key without one: the media sequence number as a 128-bit big-endian value.
QByteArray sequenceIv(qint64 sequence)
{
    QByteArray iv(16, '\0');
    for (int i = 0; i < 8; ++i)
        iv[15 - i] = char((quint64(sequence) >> (8 * i)) & 0xff);
    return iv;
}

// "n[@o]" of EXT-X-BYTERANGE and of EXT-X-MAP's BYTERANGE.
struct RangeText
{
    qint64 length = 0;
    std::optional<qint64> offset;
};

std::optional<RangeText> parseRange(QByteArrayView text)
{
    RangeText range;
    const qsizetype at = text.indexOf('@');
    const std::optional<qint64> length = TextNumbers::decimalInteger(at < 0 ? text : text.first(at));
    if (!length || *length == 0)
        return std::nullopt;
    range.length = *length;
    if (at >= 0) {
        range.offset = TextNumbers::decimalInteger(text.sliced(at + 1));
        if (!range.offset)
            return std::nullopt;
    }
    // Both below 2^60, so offset + length never overflows.
    if (range.length >= (qint64(1) << 60) || range.offset.value_or(0) >= (qint64(1) << 60))
        return std::nullopt;
    return range;
}

bool isYes(const std::optional<QByteArray>& value)
{
    return value && *value == "YES";
}

// What a key tag says about the segments after it.
struct KeyTag
{
    bool isProtected = false;
    SegmentKey key;
    bool ivGiven = false;
};

StreamResult<KeyTag> parseKey(const AttributeList& attributes, const QUrl& address)
{
    KeyTag tag;
    const std::optional<QByteArray> method = attributes.enumerated("METHOD");
    if (!method)
        return malformed(QStringLiteral("a key has no METHOD"));
    if (*method == "NONE")
        return tag;
    if (*method == "SAMPLE-AES" || *method == "SAMPLE-AES-CTR") {
        tag.isProtected = true;
        return tag;
    }
    if (*method != "AES-128")
        return malformed(QStringLiteral("unknown key METHOD %1").arg(QString::fromLatin1(method->left(40))));
    const std::optional<QByteArray> format = attributes.quotedString("KEYFORMAT");
    const std::optional<QByteArray> uri = attributes.quotedString("URI");
    if (attributes.has("KEYFORMAT") && !format)
        return malformed(QStringLiteral("KEYFORMAT is not a quoted string"));
    if (!uri)
        return malformed(QStringLiteral("an AES-128 key has no URI"));
    if ((format && *format != "identity") || uri->startsWith("skd://")) {
        tag.isProtected = true;
        return tag;
    }
    StreamResult<QUrl> url = resolveUri(address, *uri);
    if (!url.ok())
        return url.error();
    tag.key.method = SegmentKey::Method::Aes128;
    tag.key.url = url.value();
    if (attributes.has("IV")) {
        const std::optional<QByteArray> iv = attributes.hex128("IV");
        if (!iv)
            return malformed(QStringLiteral("IV is not 0x and at most 32 hex digits"));
        tag.key.iv = *iv;
        tag.ivGiven = true;
    }
    return tag;
}

class Parser
{
public:
    explicit Parser(const QUrl& address)
        : m_address(address)
    {}

    StreamResult<HlsPlaylist> run(QByteArrayView text);

private:
    std::optional<StreamError> line(QByteArrayView line);
    std::optional<StreamError> tag(QByteArrayView name, QByteArrayView value);
    std::optional<StreamError> uriLine(QByteArrayView line);
    std::optional<StreamError> streamInf(QByteArrayView value);
    std::optional<StreamError> media(QByteArrayView value);
    std::optional<StreamError> map(QByteArrayView value);
    std::optional<StreamError> setKind(HlsPlaylist::Kind kind);

    QUrl m_address;
    HlsPlaylist m_playlist;
    int m_lineNumber = 0;
    bool m_kindKnown = false;
    bool m_sequenceSet = false;

    // State carried to the next segment or variant.
    std::optional<double> m_duration;
    std::optional<RangeText> m_range;
    bool m_discontinuity = false;
    KeyTag m_key;
    int m_initSection = -1;
    std::optional<StreamVariant> m_variant;
    // Where the previous segment's sub-range ended, for a range without an offset.
    QUrl m_lastRangeUrl;
    std::optional<qint64> m_lastRangeEnd;
};

StreamResult<HlsPlaylist> Parser::run(QByteArrayView text)
{
    if (text.size() > StreamLimits::MaxManifestBytes)
        return streamError(StreamError::Code::TooLarge,
                           QStringLiteral("playlist is larger than %1 bytes").arg(StreamLimits::MaxManifestBytes));
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArrayView current = text.sliced(at, end - at);
        at = end + 1;
        // Line ends of either kind; white space after a tag is no part of it.
        while (!current.isEmpty() && (current.back() == '\r' || current.back() == ' ' || current.back() == '\t'))
            current.chop(1);
        ++m_lineNumber;
        if (current.size() > StreamLimits::MaxLineLength)
            return streamError(StreamError::Code::TooLong, QStringLiteral("playlist: line %1 is longer than %2 bytes")
                                                               .arg(m_lineNumber)
                                                               .arg(StreamLimits::MaxLineLength));
        if (m_lineNumber == 1) {
            if (current != "#EXTM3U")
                return malformed(QStringLiteral("the first line is not #EXTM3U"));
            continue;
        }
        if (std::optional<StreamError> error = line(current))
            return *error;
        if (m_playlist.isProtected)
            return m_playlist;
    }
    if (m_lineNumber == 0)
        return malformed(QStringLiteral("the first line is not #EXTM3U"));
    if (m_variant)
        return malformed(QStringLiteral("EXT-X-STREAM-INF without an address after it"));
    if (!m_kindKnown)
        return malformed(QStringLiteral("neither a variant nor a segment"));
    if (m_playlist.kind == HlsPlaylist::Kind::Media && m_playlist.targetDuration <= 0)
        return malformed(QStringLiteral("a media playlist without EXT-X-TARGETDURATION"));
    return m_playlist;
}

std::optional<StreamError> Parser::line(QByteArrayView text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    if (text.startsWith("#EXT")) {
        const qsizetype colon = text.indexOf(':');
        const QByteArrayView name = colon < 0 ? text.sliced(1) : text.sliced(1, colon - 1);
        const QByteArrayView value = colon < 0 ? QByteArrayView() : text.sliced(colon + 1);
        return tag(name, value);
    }
    if (text.startsWith('#'))
        return std::nullopt; // a comment
    return uriLine(text);
}

std::optional<StreamError> Parser::setKind(HlsPlaylist::Kind kind)
{
    if (m_kindKnown && m_playlist.kind != kind)
        return malformedLine(m_lineNumber, "master and media playlist tags mixed");
    m_kindKnown = true;
    m_playlist.kind = kind;
    return std::nullopt;
}

std::optional<StreamError> Parser::tag(QByteArrayView name, QByteArrayView value)
{
    using Kind = HlsPlaylist::Kind;
    if (name == "EXTINF") {
        if (auto error = setKind(Kind::Media))
            return error;
        const qsizetype comma = value.indexOf(',');
        m_duration = TextNumbers::decimalFloat(comma < 0 ? value : value.first(comma));
        if (!m_duration || *m_duration > 1e6)
            return malformedLine(m_lineNumber, "EXTINF duration is not a decimal number of seconds");
        return std::nullopt;
    }
    if (name == "EXT-X-TARGETDURATION") {
        if (auto error = setKind(Kind::Media))
            return error;
        const std::optional<qint64> seconds = TextNumbers::decimalInteger(value);
        if (!seconds || *seconds > 1000000)
            return malformedLine(m_lineNumber, "EXT-X-TARGETDURATION is not a decimal integer");
        m_playlist.targetDuration = double(*seconds);
        return std::nullopt;
    }
    if (name == "EXT-X-MEDIA-SEQUENCE") {
        if (auto error = setKind(Kind::Media))
            return error;
        const std::optional<qint64> sequence = TextNumbers::decimalInteger(value);
        if (!sequence)
            return malformedLine(m_lineNumber, "EXT-X-MEDIA-SEQUENCE is not a decimal integer");
        if (!m_playlist.segments.isEmpty() || m_sequenceSet)
            return malformedLine(m_lineNumber, "EXT-X-MEDIA-SEQUENCE after the first segment");
        m_playlist.mediaSequence = *sequence;
        m_sequenceSet = true;
        return std::nullopt;
    }
    if (name == "EXT-X-DISCONTINUITY") {
        m_discontinuity = true;
        return setKind(Kind::Media);
    }
    if (name == "EXT-X-ENDLIST") {
        m_playlist.endList = true;
        return setKind(Kind::Media);
    }
    if (name == "EXT-X-PLAYLIST-TYPE") {
        if (value == "EVENT")
            m_playlist.playlistType = HlsPlaylist::PlaylistType::Event;
        else if (value == "VOD")
            m_playlist.playlistType = HlsPlaylist::PlaylistType::Vod;
        else
            return malformedLine(m_lineNumber, "EXT-X-PLAYLIST-TYPE is neither EVENT nor VOD");
        return setKind(Kind::Media);
    }
    if (name == "EXT-X-BYTERANGE") {
        m_range = parseRange(value);
        if (!m_range)
            return malformedLine(m_lineNumber, "EXT-X-BYTERANGE is not n[@o]");
        return setKind(Kind::Media);
    }
    if (name == "EXT-X-MAP") {
        if (auto error = setKind(Kind::Media))
            return error;
        return map(value);
    }
    if (name == "EXT-X-KEY" || name == "EXT-X-SESSION-KEY") {
        if (name == "EXT-X-KEY") {
            if (auto error = setKind(Kind::Media))
                return error;
        }
        StreamResult<AttributeList> attributes = AttributeList::parse(value);
        if (!attributes.ok())
            return attributes.error();
        StreamResult<KeyTag> key = parseKey(attributes.value(), m_address);
        if (!key.ok())
            return key.error();
        if (key.value().isProtected)
            m_playlist.isProtected = true;
        else if (name == "EXT-X-KEY")
            m_key = key.value();
        return std::nullopt;
    }
    if (name == "EXT-X-STREAM-INF") {
        if (auto error = setKind(Kind::Master))
            return error;
        return streamInf(value);
    }
    if (name == "EXT-X-MEDIA") {
        if (auto error = setKind(Kind::Master))
            return error;
        return media(value);
    }
    // EXT-X-VERSION, EXT-X-I-FRAME-STREAM-INF, EXT-X-PROGRAM-DATE-TIME and the rest say nothing
    // about which bytes to fetch.
    return std::nullopt;
}

std::optional<StreamError> Parser::map(QByteArrayView value)
{
    StreamResult<AttributeList> attributes = AttributeList::parse(value);
    if (!attributes.ok())
        return attributes.error();
    const std::optional<QByteArray> uri = attributes.value().quotedString("URI");
    if (!uri)
        return malformedLine(m_lineNumber, "EXT-X-MAP has no URI");
    StreamResult<QUrl> url = resolveUri(m_address, *uri);
    if (!url.ok())
        return url.error();
    InitSection init;
    init.url = url.value();
    if (attributes.value().has("BYTERANGE")) {
        const std::optional<QByteArray> text = attributes.value().quotedString("BYTERANGE");
        const std::optional<RangeText> range = text ? parseRange(*text) : std::nullopt;
        if (!range)
            return malformedLine(m_lineNumber, "EXT-X-MAP BYTERANGE is not \"n[@o]\"");
        init.range = ByteRange{range->offset.value_or(0), range->length};
    }
    if (m_key.key.method != SegmentKey::Method::None) {
        init.key = m_key.key;
        // An init section has no sequence number of its own: without an IV in the tag it
        // takes the one of the segment that follows it, filled in there.
    }
    if (!m_playlist.initSections.isEmpty() && m_playlist.initSections.constLast() == init) {
        m_initSection = int(m_playlist.initSections.size() - 1);
        return std::nullopt;
    }
    if (m_playlist.initSections.size() >= StreamLimits::MaxSegments)
        return streamError(StreamError::Code::TooManySegments, QStringLiteral("playlist: too many EXT-X-MAP tags"));
    m_playlist.initSections.append(init);
    m_initSection = int(m_playlist.initSections.size() - 1);
    return std::nullopt;
}

std::optional<StreamError> Parser::streamInf(QByteArrayView value)
{
    if (m_variant)
        return malformedLine(m_lineNumber, "two EXT-X-STREAM-INF tags without an address between");
    StreamResult<AttributeList> parsed = AttributeList::parse(value);
    if (!parsed.ok())
        return parsed.error();
    const AttributeList& attributes = parsed.value();
    StreamVariant variant;
    const std::optional<qint64> bandwidth = attributes.decimalInteger("BANDWIDTH");
    if (!bandwidth)
        return malformedLine(m_lineNumber, "EXT-X-STREAM-INF without a decimal BANDWIDTH");
    variant.bandwidth = *bandwidth;
    if (attributes.has("AVERAGE-BANDWIDTH")) {
        const std::optional<qint64> average = attributes.decimalInteger("AVERAGE-BANDWIDTH");
        if (!average)
            return malformedLine(m_lineNumber, "AVERAGE-BANDWIDTH is not a decimal integer");
        variant.averageBandwidth = *average;
    }
    if (attributes.has("RESOLUTION")) {
        const std::optional<std::pair<int, int>> resolution = attributes.resolution("RESOLUTION");
        if (!resolution)
            return malformedLine(m_lineNumber, "RESOLUTION is not WIDTHxHEIGHT");
        variant.width = resolution->first;
        variant.height = resolution->second;
    }
    if (attributes.has("FRAME-RATE")) {
        const std::optional<double> rate = attributes.decimalFloat("FRAME-RATE");
        if (!rate || *rate > 1000)
            return malformedLine(m_lineNumber, "FRAME-RATE is not a decimal number");
        variant.frameRate = *rate;
    }
    if (attributes.has("CODECS")) {
        const std::optional<QByteArray> codecs = attributes.quotedString("CODECS");
        if (!codecs)
            return malformedLine(m_lineNumber, "CODECS is not a quoted string");
        variant.codecs = QString::fromUtf8(*codecs);
    }
    if (attributes.has("AUDIO")) {
        const std::optional<QByteArray> group = attributes.quotedString("AUDIO");
        if (!group)
            return malformedLine(m_lineNumber, "AUDIO is not a quoted string");
        variant.audioGroup = QString::fromUtf8(*group);
    }
    m_variant = variant;
    return std::nullopt;
}

std::optional<StreamError> Parser::media(QByteArrayView value)
{
    StreamResult<AttributeList> parsed = AttributeList::parse(value);
    if (!parsed.ok())
        return parsed.error();
    const AttributeList& attributes = parsed.value();
    const std::optional<QByteArray> type = attributes.enumerated("TYPE");
    const std::optional<QByteArray> group = attributes.quotedString("GROUP-ID");
    const std::optional<QByteArray> name = attributes.quotedString("NAME");
    if (!type || !group || !name)
        return malformedLine(m_lineNumber, "EXT-X-MEDIA needs TYPE, GROUP-ID and NAME");
    if (*type != "AUDIO")
        return std::nullopt; // video angles, subtitles and captions are not downloaded
    AudioRendition rendition;
    rendition.groupId = QString::fromUtf8(*group);
    rendition.name = QString::fromUtf8(*name);
    if (attributes.has("LANGUAGE")) {
        const std::optional<QByteArray> language = attributes.quotedString("LANGUAGE");
        if (!language)
            return malformedLine(m_lineNumber, "LANGUAGE is not a quoted string");
        rendition.language = QString::fromUtf8(*language);
    }
    for (const char* flag : {"DEFAULT", "AUTOSELECT"}) {
        const std::optional<QByteArray> text = attributes.enumerated(flag);
        if (attributes.has(flag) && (!text || (*text != "YES" && *text != "NO")))
            return malformedLine(m_lineNumber, "DEFAULT and AUTOSELECT are YES or NO");
    }
    rendition.isDefault = isYes(attributes.enumerated("DEFAULT"));
    rendition.autoselect = isYes(attributes.enumerated("AUTOSELECT"));
    if (attributes.has("URI")) {
        const std::optional<QByteArray> uri = attributes.quotedString("URI");
        if (!uri)
            return malformedLine(m_lineNumber, "URI is not a quoted string");
        StreamResult<QUrl> url = resolveUri(m_address, *uri);
        if (!url.ok())
            return url.error();
        rendition.url = url.value();
    }
    if (m_playlist.audio.size() >= StreamLimits::MaxVariants)
        return streamError(StreamError::Code::TooLong,
                           QStringLiteral("playlist: more than %1 renditions").arg(StreamLimits::MaxVariants));
    m_playlist.audio.append(rendition);
    return std::nullopt;
}

std::optional<StreamError> Parser::uriLine(QByteArrayView line)
{
    StreamResult<QUrl> url = resolveUri(m_address, line);
    if (!url.ok())
        return url.error();
    if (m_variant) {
        if (m_playlist.variants.size() >= StreamLimits::MaxVariants)
            return streamError(StreamError::Code::TooLong,
                               QStringLiteral("playlist: more than %1 variants").arg(StreamLimits::MaxVariants));
        m_variant->url = url.value();
        m_playlist.variants.append(*m_variant);
        m_variant.reset();
        return std::nullopt;
    }
    if (!m_duration)
        return malformedLine(m_lineNumber, "an address without EXTINF or EXT-X-STREAM-INF before it");
    if (m_playlist.segments.size() >= StreamLimits::MaxSegments)
        return streamError(StreamError::Code::TooManySegments,
                           QStringLiteral("playlist: more than %1 segments").arg(StreamLimits::MaxSegments));
    SegmentRequest segment;
    segment.url = url.value();
    segment.duration = *m_duration;
    segment.sequence = m_playlist.mediaSequence + m_playlist.segments.size();
    segment.discontinuity = m_discontinuity;
    segment.initSection = m_initSection;
    if (m_range) {
        qint64 offset = 0;
        if (m_range->offset) {
            offset = *m_range->offset;
        } else {
            if (!m_lastRangeEnd || m_lastRangeUrl != segment.url)
                return malformedLine(m_lineNumber,
                                     "EXT-X-BYTERANGE without an offset after no sub-range of the same resource");
            offset = *m_lastRangeEnd;
        }
        segment.range = ByteRange{offset, m_range->length};
        m_lastRangeUrl = segment.url;
        m_lastRangeEnd = offset + m_range->length;
    } else {
        m_lastRangeEnd.reset();
    }
    if (m_key.key.method != SegmentKey::Method::None) {
        segment.key = m_key.key;
        if (!m_key.ivGiven)
            segment.key.iv = sequenceIv(segment.sequence);
        if (segment.initSection >= 0) {
            InitSection& init = m_playlist.initSections[segment.initSection];
            if (init.key.method != SegmentKey::Method::None && init.key.iv.isEmpty())
                init.key.iv = segment.key.iv;
        }
    }
    m_playlist.segments.append(segment);
    m_duration.reset();
    m_range.reset();
    m_discontinuity = false;
    return std::nullopt;
}

} // namespace

double HlsPlaylist::duration() const
{
    double total = 0;
    for (const SegmentRequest& segment : segments)
        total += segment.duration;
    return total;
}

StreamResult<HlsPlaylist> HlsPlaylist::parse(QByteArrayView text, const QUrl& address)
{
    return Parser(address).run(text);
}
