#include "streams/DashManifest.h"

#include "streams/IsoDuration.h"
#include "streams/SegmentTemplate.h"
#include "streams/StreamLimits.h"
#include "streams/TextNumbers.h"
#include "streams/UriResolution.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cmath>

using tinyxml2::XMLElement;

namespace {

StreamError malformed(const QString& what)
{
    return streamError(StreamError::Code::Malformed, QStringLiteral("MPD: %1").arg(what));
}

// The element name without a namespace prefix.
QByteArrayView localName(const XMLElement* element)
{
    const QByteArrayView name(element->Name());
    const qsizetype colon = name.lastIndexOf(':');
    return colon < 0 ? name : name.sliced(colon + 1);
}

const XMLElement* child(const XMLElement* parent, QByteArrayView name)
{
    for (const XMLElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (localName(e) == name)
            return e;
    }
    return nullptr;
}

std::optional<QByteArrayView> attribute(const XMLElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    if (!value)
        return std::nullopt;
    return QByteArrayView(value);
}

// Nesting depth and the presence of ContentProtection, over the whole tree.
struct TreeFacts
{
    int depth = 0;
    bool isProtected = false;
};

TreeFacts treeFacts(const XMLElement* root)
{
    TreeFacts facts;
    QList<std::pair<const XMLElement*, int>> stack{{root, 1}};
    while (!stack.isEmpty()) {
        const auto [element, depth] = stack.takeLast();
        facts.depth = std::max(facts.depth, depth);
        if (localName(element) == "ContentProtection")
            facts.isProtected = true;
        for (const XMLElement* e = element->FirstChildElement(); e; e = e->NextSiblingElement())
            stack.append({e, depth + 1});
    }
    return facts;
}

// "a-b" of indexRange, mediaRange and Initialization@range.
std::optional<ByteRange> parseRange(QByteArrayView text)
{
    const qsizetype dash = text.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    const std::optional<qint64> first = TextNumbers::decimalInteger(text.first(dash));
    const std::optional<qint64> last = TextNumbers::decimalInteger(text.sliced(dash + 1));
    if (!first || !last || *last < *first || *last >= (qint64(1) << 60))
        return std::nullopt;
    return ByteRange{*first, *last - *first + 1};
}

// The segment information of one level (Period, AdaptationSet, Representation); a lower level
// overrides what it sets.
struct SegmentInfo
{
    enum class Kind
    {
        None,
        Template,
        List,
        Base,
    };
    Kind kind = Kind::None;
    std::optional<QString> media;
    std::optional<QString> initialization;
    std::optional<qint64> startNumber;
    std::optional<qint64> timescale;
    std::optional<qint64> duration;
    std::optional<qint64> presentationTimeOffset;
    const XMLElement* timeline = nullptr;
    const XMLElement* list = nullptr; // the SegmentList holding SegmentURL elements
    const XMLElement* initElement = nullptr;
    std::optional<ByteRange> indexRange;
};

struct Inherited
{
    QUrl base;
    SegmentInfo segments;
    QString mimeType;
    QString codecs;
    QString contentType;
    QString language;
    int width = 0;
    int height = 0;
    double frameRate = 0;
};

class Parser
{
public:
    Parser(const QUrl& address, const QDateTime& now)
        : m_address(address)
        , m_now(now)
    {}

    StreamResult<DashManifest> run(QByteArrayView text);

private:
    std::optional<StreamError> readLevel(const XMLElement* element, Inherited& inherited);
    std::optional<StreamError> readSegmentInfo(const XMLElement* element, SegmentInfo& info);
    std::optional<StreamError> readPeriod(const XMLElement* element, DashPeriod& period);
    std::optional<StreamError> readRepresentation(const XMLElement* element,
                                                  const Inherited& set,
                                                  const DashPeriod& period,
                                                  DashRepresentation& representation);
    std::optional<StreamError> expandTemplate(const SegmentInfo& info,
                                              const DashPeriod& period,
                                              const QUrl& base,
                                              DashRepresentation& representation);
    std::optional<StreamError>
    expandList(const SegmentInfo& info, const DashPeriod& period, const QUrl& base, DashRepresentation& representation);
    std::optional<StreamError> addSegment(DashRepresentation& representation, SegmentRequest segment);
    StreamResult<double> durationAttribute(const XMLElement* element, const char* name);
    std::optional<StreamError>
    integerAttribute(const XMLElement* element, const char* name, std::optional<qint64>& out);

    QUrl m_address;
    QDateTime m_now;
    DashManifest m_manifest;
    qsizetype m_segmentCount = 0;
    int m_representationCount = 0;
};

StreamResult<double> Parser::durationAttribute(const XMLElement* element, const char* name)
{
    const std::optional<QByteArrayView> text = attribute(element, name);
    if (!text)
        return 0.0;
    const std::optional<double> seconds = parseIsoDuration(*text);
    if (!seconds)
        return malformed(QStringLiteral("%1 is not an ISO 8601 duration").arg(QLatin1String(name)));
    return *seconds;
}

std::optional<StreamError>
Parser::integerAttribute(const XMLElement* element, const char* name, std::optional<qint64>& out)
{
    const std::optional<QByteArrayView> text = attribute(element, name);
    if (!text)
        return std::nullopt;
    out = TextNumbers::decimalInteger(*text);
    if (!out)
        return malformed(QStringLiteral("%1 is not a decimal integer").arg(QLatin1String(name)));
    return std::nullopt;
}

StreamResult<DashManifest> Parser::run(QByteArrayView text)
{
    if (text.size() > StreamLimits::MaxManifestBytes)
        return streamError(StreamError::Code::TooLarge,
                           QStringLiteral("MPD is larger than %1 bytes").arg(StreamLimits::MaxManifestBytes));
    // Every element starts with "<": counting them bounds the tree before it is built.
    if (text.count('<') > StreamLimits::MaxXmlElements)
        return streamError(StreamError::Code::TooDeep,
                           QStringLiteral("MPD has more than %1 elements").arg(StreamLimits::MaxXmlElements));
    tinyxml2::XMLDocument document(true, tinyxml2::COLLAPSE_WHITESPACE);
    if (document.Parse(text.data(), size_t(text.size())) != tinyxml2::XML_SUCCESS) {
        if (document.ErrorID() == tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED)
            return streamError(StreamError::Code::TooDeep, QStringLiteral("MPD nests elements too deeply"));
        return malformed(QStringLiteral("not XML (%1, line %2)")
                             .arg(QLatin1String(document.ErrorName()))
                             .arg(document.ErrorLineNum()));
    }
    const XMLElement* root = document.RootElement();
    if (!root || localName(root) != "MPD")
        return malformed(QStringLiteral("the root element is not MPD"));
    const TreeFacts facts = treeFacts(root);
    if (facts.depth > StreamLimits::MaxXmlDepth)
        return streamError(StreamError::Code::TooDeep,
                           QStringLiteral("MPD nests elements deeper than %1").arg(StreamLimits::MaxXmlDepth));
    if (facts.isProtected) {
        m_manifest.isProtected = true;
        return m_manifest;
    }

    const std::optional<QByteArrayView> type = attribute(root, "type");
    if (type && *type != "static" && *type != "dynamic")
        return malformed(QStringLiteral("type is neither static nor dynamic"));
    m_manifest.live = type && *type == "dynamic";
    for (auto [name, field] : {std::pair{"mediaPresentationDuration", &m_manifest.duration},
                               std::pair{"minimumUpdatePeriod", &m_manifest.minimumUpdatePeriod},
                               std::pair{"timeShiftBufferDepth", &m_manifest.timeShiftBufferDepth},
                               std::pair{"maxSegmentDuration", &m_manifest.maxSegmentDuration}}) {
        StreamResult<double> seconds = durationAttribute(root, name);
        if (!seconds.ok())
            return seconds.error();
        *field = seconds.value();
    }
    if (const std::optional<QByteArrayView> start = attribute(root, "availabilityStartTime")) {
        m_manifest.availabilityStartTime = QDateTime::fromString(QString::fromLatin1(*start), Qt::ISODateWithMs);
        if (!m_manifest.availabilityStartTime.isValid())
            return malformed(QStringLiteral("availabilityStartTime is not a date and time"));
    }

    Inherited top;
    top.base = m_address;
    if (auto error = readLevel(root, top))
        return *error;

    QList<const XMLElement*> periodElements;
    for (const XMLElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (localName(e) != "Period")
            continue;
        if (periodElements.size() >= StreamLimits::MaxPeriods)
            return streamError(StreamError::Code::TooLong,
                               QStringLiteral("MPD has more than %1 periods").arg(StreamLimits::MaxPeriods));
        periodElements.append(e);
    }
    if (periodElements.isEmpty())
        return malformed(QStringLiteral("no Period"));

    // Period starts and durations first: a period without a duration ends where the next starts.
    double previousEnd = 0;
    for (const XMLElement* element : periodElements) {
        DashPeriod period;
        period.id = QString::fromUtf8(element->Attribute("id"));
        StreamResult<double> duration = durationAttribute(element, "duration");
        if (!duration.ok())
            return duration.error();
        period.duration = duration.value();
        period.start = previousEnd;
        if (attribute(element, "start")) {
            StreamResult<double> start = durationAttribute(element, "start");
            if (!start.ok())
                return start.error();
            period.start = start.value();
        }
        previousEnd = period.start + period.duration;
        m_manifest.periods.append(period);
    }
    for (qsizetype i = 0; i < m_manifest.periods.size(); ++i) {
        DashPeriod& period = m_manifest.periods[i];
        if (period.duration > 0)
            continue;
        if (i + 1 < m_manifest.periods.size())
            period.duration = std::max(0.0, m_manifest.periods[i + 1].start - period.start);
        else if (m_manifest.duration > 0)
            period.duration = std::max(0.0, m_manifest.duration - period.start);
    }
    if (m_manifest.duration <= 0 && !m_manifest.live)
        m_manifest.duration = previousEnd;

    for (qsizetype i = 0; i < periodElements.size(); ++i) {
        Inherited inherited = top;
        if (auto error = readLevel(periodElements[i], inherited))
            return *error;
        DashPeriod& period = m_manifest.periods[i];
        for (const XMLElement* set = periodElements[i]->FirstChildElement(); set; set = set->NextSiblingElement()) {
            if (localName(set) != "AdaptationSet")
                continue;
            Inherited setLevel = inherited;
            if (auto error = readLevel(set, setLevel))
                return *error;
            for (const XMLElement* e = set->FirstChildElement(); e; e = e->NextSiblingElement()) {
                if (localName(e) != "Representation")
                    continue;
                DashRepresentation representation;
                if (auto error = readRepresentation(e, setLevel, period, representation))
                    return *error;
                const QString& kind = representation.contentType;
                const QString& mime = representation.variant.mimeType;
                if (kind == QLatin1String("video") || (kind.isEmpty() && mime.startsWith(QLatin1String("video/"))))
                    period.video.append(representation);
                else if (kind == QLatin1String("audio") || (kind.isEmpty() && mime.startsWith(QLatin1String("audio/"))))
                    period.audio.append(representation);
                // Subtitles, thumbnails and the rest are not downloaded.
            }
        }
    }
    return m_manifest;
}

// The attributes and elements a level passes down: BaseURL, segment information, and the
// common representation attributes.
std::optional<StreamError> Parser::readLevel(const XMLElement* element, Inherited& inherited)
{
    if (const XMLElement* base = child(element, "BaseURL")) {
        StreamResult<QUrl> url = resolveUri(inherited.base, QByteArrayView(base->GetText() ? base->GetText() : ""));
        if (!url.ok())
            return url.error();
        inherited.base = url.value();
    }
    if (auto error = readSegmentInfo(element, inherited.segments))
        return error;
    for (auto [name, field] :
         {std::pair{"mimeType", &inherited.mimeType}, std::pair{"codecs", &inherited.codecs},
          std::pair{"contentType", &inherited.contentType}, std::pair{"lang", &inherited.language}}) {
        if (const char* value = element->Attribute(name))
            *field = QString::fromUtf8(value).left(StreamLimits::MaxAttributeValueLength);
    }
    for (auto [name, field] : {std::pair{"width", &inherited.width}, std::pair{"height", &inherited.height}}) {
        if (const std::optional<QByteArrayView> value = attribute(element, name)) {
            const std::optional<qint64> pixels = TextNumbers::decimalInteger(*value);
            if (!pixels || *pixels > 100000)
                return malformed(QStringLiteral("%1 is not a number of pixels").arg(QLatin1String(name)));
            *field = int(*pixels);
        }
    }
    if (const std::optional<QByteArrayView> value = attribute(element, "frameRate")) {
        const std::optional<double> rate = TextNumbers::frameRate(*value);
        if (!rate || *rate > 1000)
            return malformed(QStringLiteral("frameRate is not a rate"));
        inherited.frameRate = *rate;
    }
    return std::nullopt;
}

std::optional<StreamError> Parser::readSegmentInfo(const XMLElement* element, SegmentInfo& info)
{
    const XMLElement* segmentTemplate = child(element, "SegmentTemplate");
    const XMLElement* list = child(element, "SegmentList");
    const XMLElement* base = child(element, "SegmentBase");
    const XMLElement* found = segmentTemplate ? segmentTemplate : list ? list : base;
    if (!found)
        return std::nullopt;
    if (segmentTemplate)
        info.kind = SegmentInfo::Kind::Template;
    else if (list && info.kind != SegmentInfo::Kind::Template)
        info.kind = SegmentInfo::Kind::List;
    else if (info.kind == SegmentInfo::Kind::None)
        info.kind = SegmentInfo::Kind::Base;
    for (auto [name, field] :
         {std::pair{"startNumber", &info.startNumber}, std::pair{"timescale", &info.timescale},
          std::pair{"duration", &info.duration}, std::pair{"presentationTimeOffset", &info.presentationTimeOffset}}) {
        if (auto error = integerAttribute(found, name, *field))
            return error;
    }
    // xs:unsignedInt, and above zero.
    if (info.timescale && (*info.timescale == 0 || *info.timescale > 0xffffffffLL))
        return malformed(QStringLiteral("timescale is not 1 to 2^32-1"));
    if (info.presentationTimeOffset && *info.presentationTimeOffset > (qint64(1) << 56))
        return malformed(QStringLiteral("presentationTimeOffset is past its bound"));
    if (segmentTemplate) {
        if (const char* media = segmentTemplate->Attribute("media"))
            info.media = QString::fromUtf8(media);
        if (const char* init = segmentTemplate->Attribute("initialization"))
            info.initialization = QString::fromUtf8(init);
    }
    if (const XMLElement* timeline = child(found, "SegmentTimeline"))
        info.timeline = timeline;
    if (const XMLElement* init = child(found, "Initialization"))
        info.initElement = init;
    if (list && child(list, "SegmentURL"))
        info.list = list;
    if (const std::optional<QByteArrayView> range = attribute(found, "indexRange")) {
        info.indexRange = parseRange(*range);
        if (!info.indexRange)
            return malformed(QStringLiteral("indexRange is not first-last"));
    }
    return std::nullopt;
}

std::optional<StreamError> Parser::readRepresentation(const XMLElement* element,
                                                      const Inherited& set,
                                                      const DashPeriod& period,
                                                      DashRepresentation& representation)
{
    if (++m_representationCount > StreamLimits::MaxVariants)
        return streamError(StreamError::Code::TooLong,
                           QStringLiteral("MPD has more than %1 representations").arg(StreamLimits::MaxVariants));
    Inherited own = set;
    if (auto error = readLevel(element, own))
        return error;
    const char* id = element->Attribute("id");
    if (!id || !*id)
        return malformed(QStringLiteral("a Representation without an id"));
    representation.variant.id = QString::fromUtf8(id).left(StreamLimits::MaxAttributeValueLength);
    std::optional<qint64> bandwidth;
    if (auto error = integerAttribute(element, "bandwidth", bandwidth))
        return error;
    if (!bandwidth)
        return malformed(QStringLiteral("Representation %1 has no bandwidth").arg(representation.variant.id.left(40)));
    representation.variant.bandwidth = *bandwidth;
    representation.variant.width = own.width;
    representation.variant.height = own.height;
    representation.variant.frameRate = own.frameRate;
    representation.variant.codecs = own.codecs;
    representation.variant.mimeType = own.mimeType;
    representation.contentType = own.contentType;
    representation.language = own.language;

    const SegmentInfo& info = own.segments;
    switch (info.kind) {
    case SegmentInfo::Kind::Template:
        return expandTemplate(info, period, own.base, representation);
    case SegmentInfo::Kind::List:
        return expandList(info, period, own.base, representation);
    case SegmentInfo::Kind::Base:
    case SegmentInfo::Kind::None:
        if (info.initElement) {
            InitSection init;
            init.url = own.base;
            if (const std::optional<QByteArrayView> range = attribute(info.initElement, "range")) {
                init.range = parseRange(*range);
                if (!init.range)
                    return malformed(QStringLiteral("Initialization range is not first-last"));
            }
            representation.init = init;
        }
        if (info.indexRange) {
            representation.indexUrl = own.base;
            representation.indexRange = info.indexRange;
            return std::nullopt;
        }
        // The whole file is the one segment.
        SegmentRequest segment;
        segment.url = own.base;
        segment.duration = period.duration;
        return addSegment(representation, segment);
    }
    return std::nullopt;
}

std::optional<StreamError> Parser::addSegment(DashRepresentation& representation, SegmentRequest segment)
{
    if (++m_segmentCount > StreamLimits::MaxSegments)
        return streamError(StreamError::Code::TooManySegments,
                           QStringLiteral("MPD has more than %1 segments").arg(StreamLimits::MaxSegments));
    representation.segments.append(std::move(segment));
    return std::nullopt;
}

std::optional<StreamError> Parser::expandTemplate(const SegmentInfo& info,
                                                  const DashPeriod& period,
                                                  const QUrl& base,
                                                  DashRepresentation& representation)
{
    SegmentTemplate::Values values;
    values.representationId = representation.variant.id;
    values.bandwidth = representation.variant.bandwidth;
    const qint64 timescale = info.timescale.value_or(1);
    const qint64 startNumber = info.startNumber.value_or(1);
    const qint64 offset = info.presentationTimeOffset.value_or(0);

    if (info.initialization) {
        StreamResult<QString> text = SegmentTemplate::expand(*info.initialization, values);
        if (!text.ok())
            return text.error();
        StreamResult<QUrl> url = resolveUri(base, text.value().toUtf8());
        if (!url.ok())
            return url.error();
        representation.init = InitSection{url.value(), std::nullopt, {}};
    }
    if (!info.media)
        return malformed(QStringLiteral("SegmentTemplate without media"));

    auto add = [&](qint64 number, qint64 time, qint64 ticks) -> std::optional<StreamError> {
        values.number = number;
        values.time = time;
        StreamResult<QString> text = SegmentTemplate::expand(*info.media, values);
        if (!text.ok())
            return text.error();
        StreamResult<QUrl> url = resolveUri(base, text.value().toUtf8());
        if (!url.ok())
            return url.error();
        SegmentRequest segment;
        segment.url = url.value();
        segment.sequence = number;
        segment.duration = double(ticks) / double(timescale);
        segment.start = period.start + double(time - offset) / double(timescale);
        segment.initSection = representation.init ? 0 : -1;
        return addSegment(representation, segment);
    };

    // Ticks are bounded so that sums of them never overflow.
    constexpr qint64 MaxTicks = qint64(1) << 56;
    if (info.timeline) {
        qint64 number = startNumber;
        qint64 time = offset;
        const qint64 periodEnd =
            period.duration > 0 ? offset + qint64(std::llround(period.duration * double(timescale))) : -1;
        for (const XMLElement* s = info.timeline->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (localName(s) != "S")
                continue;
            std::optional<qint64> t;
            std::optional<qint64> d;
            if (auto error = integerAttribute(s, "t", t))
                return error;
            if (auto error = integerAttribute(s, "d", d))
                return error;
            if (!d || *d <= 0 || *d > MaxTicks || t.value_or(0) > MaxTicks)
                return malformed(QStringLiteral("an S element without a positive d"));
            if (t)
                time = *t;
            qint64 repeat = 0;
            if (const std::optional<QByteArrayView> r = attribute(s, "r")) {
                if (*r == "-1") {
                    // Up to the next S with a t, or the end of the period.
                    const XMLElement* next = s->NextSiblingElement();
                    while (next && localName(next) != "S")
                        next = next->NextSiblingElement();
                    std::optional<qint64> nextTime;
                    if (next) {
                        if (auto error = integerAttribute(next, "t", nextTime))
                            return error;
                    }
                    const qint64 end = nextTime ? *nextTime : periodEnd;
                    if (end >= 0) {
                        repeat = end > time ? (end - time + *d - 1) / *d - 1 : 0;
                    } else {
                        // A live period still open: up to the segments wholly available by now,
                        // the last MaxLiveWindow of them.
                        if (!m_manifest.live || !m_now.isValid() || !m_manifest.availabilityStartTime.isValid())
                            return malformed(QStringLiteral("r=\"-1\" in a period of unknown length"));
                        const double elapsed =
                            double(m_manifest.availabilityStartTime.msecsTo(m_now)) / 1000.0 - period.start;
                        const double edge = double(offset) + elapsed * double(timescale);
                        if (edge > double(MaxTicks))
                            return malformed(QStringLiteral("the live edge is too far from availabilityStartTime"));
                        const qint64 whole = edge > double(time) ? qint64((edge - double(time)) / double(*d)) : 0;
                        const qint64 skipped = std::max<qint64>(0, whole - StreamLimits::MaxLiveWindow);
                        number += skipped;
                        time += skipped * *d;
                        repeat = whole - skipped - 1; // -1: none available yet
                    }
                } else {
                    const std::optional<qint64> count = TextNumbers::decimalInteger(*r);
                    if (!count)
                        return malformed(QStringLiteral("r is neither -1 nor a decimal integer"));
                    repeat = *count;
                }
            }
            if (repeat >= StreamLimits::MaxSegments - m_segmentCount)
                return streamError(StreamError::Code::TooManySegments,
                                   QStringLiteral("MPD has more than %1 segments").arg(StreamLimits::MaxSegments));
            for (qint64 i = 0; i <= repeat; ++i) {
                if (time > MaxTicks)
                    return malformed(QStringLiteral("the timeline runs past its bound"));
                if (auto error = add(number++, time, *d))
                    return error;
                time += *d;
            }
        }
        return std::nullopt;
    }

    if (!info.duration || *info.duration <= 0 || *info.duration > MaxTicks)
        return malformed(QStringLiteral("SegmentTemplate without a timeline or a duration"));
    const double segmentSeconds = double(*info.duration) / double(timescale);
    qint64 first = startNumber;
    qint64 count = 0;
    if (m_manifest.live && period.duration <= 0) {
        // The live edge: segments wholly available by `now`, at most the time-shift window.
        if (!m_now.isValid() || !m_manifest.availabilityStartTime.isValid())
            return std::nullopt;
        const double elapsed = double(m_manifest.availabilityStartTime.msecsTo(m_now)) / 1000.0 - period.start;
        if (elapsed <= 0)
            return std::nullopt;
        const double available = std::floor(elapsed / segmentSeconds);
        if (available * double(*info.duration) > double(MaxTicks))
            return malformed(QStringLiteral("the live edge is too far from availabilityStartTime"));
        // A recording starts at the edge: what lies further back than the time-shift window, or
        // than MaxLiveWindow segments when the manifest names no window, is never fetched (and
        // a stream that has run for days would otherwise count past MaxSegments).
        double window = std::min(available, double(StreamLimits::MaxLiveWindow));
        if (m_manifest.timeShiftBufferDepth > 0)
            window = std::min(window, std::floor(m_manifest.timeShiftBufferDepth / segmentSeconds));
        count = qint64(window);
        first = startNumber + qint64(available) - count;
    } else {
        if (period.duration <= 0)
            return malformed(QStringLiteral("a duration template in a period of unknown length"));
        const double exact = period.duration / segmentSeconds;
        if (exact > double(StreamLimits::MaxSegments))
            return streamError(StreamError::Code::TooManySegments,
                               QStringLiteral("MPD has more than %1 segments").arg(StreamLimits::MaxSegments));
        // A last segment shorter than the others still counts; rounding noise does not.
        count = qint64(std::ceil(exact - 1e-9));
    }
    if (count > StreamLimits::MaxSegments - m_segmentCount)
        return streamError(StreamError::Code::TooManySegments,
                           QStringLiteral("MPD has more than %1 segments").arg(StreamLimits::MaxSegments));
    for (qint64 i = 0; i < count; ++i) {
        const qint64 number = first + i;
        const qint64 time = offset + (number - startNumber) * *info.duration;
        qint64 ticks = *info.duration;
        if (!m_manifest.live && i == count - 1) {
            const double rest = period.duration - double(i) * segmentSeconds;
            ticks = std::min(ticks, qint64(std::llround(rest * double(timescale))));
        }
        if (auto error = add(number, time, ticks))
            return error;
    }
    return std::nullopt;
}

std::optional<StreamError> Parser::expandList(const SegmentInfo& info,
                                              const DashPeriod& period,
                                              const QUrl& base,
                                              DashRepresentation& representation)
{
    const qint64 timescale = info.timescale.value_or(1);
    if (info.initElement) {
        InitSection init;
        init.url = base;
        if (const char* source = info.initElement->Attribute("sourceURL")) {
            StreamResult<QUrl> url = resolveUri(base, QByteArrayView(source));
            if (!url.ok())
                return url.error();
            init.url = url.value();
        }
        if (const std::optional<QByteArrayView> range = attribute(info.initElement, "range")) {
            init.range = parseRange(*range);
            if (!init.range)
                return malformed(QStringLiteral("Initialization range is not first-last"));
        }
        representation.init = init;
    }
    if (!info.list)
        return malformed(QStringLiteral("SegmentList without SegmentURL"));
    QList<const XMLElement*> urls;
    for (const XMLElement* e = info.list->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (localName(e) == "SegmentURL")
            urls.append(e);
    }
    // Durations: the list's own, else the timeline's, else the period shared evenly.
    QList<double> durations;
    if (info.timeline) {
        for (const XMLElement* s = info.timeline->FirstChildElement(); s && durations.size() < urls.size();
             s = s->NextSiblingElement()) {
            std::optional<qint64> d;
            std::optional<qint64> r;
            if (auto error = integerAttribute(s, "d", d))
                return error;
            if (attribute(s, "r") && *attribute(s, "r") != "-1") {
                if (auto error = integerAttribute(s, "r", r))
                    return error;
            }
            for (qint64 i = 0; i <= r.value_or(0) && durations.size() < urls.size(); ++i)
                durations.append(double(d.value_or(0)) / double(timescale));
        }
    }
    const double each = info.duration ? double(*info.duration) / double(timescale)
                                      : (urls.isEmpty() ? 0 : period.duration / double(urls.size()));
    const qint64 startNumber = info.startNumber.value_or(1);
    double start = period.start;
    for (qsizetype i = 0; i < urls.size(); ++i) {
        SegmentRequest segment;
        segment.url = base;
        if (const char* media = urls[i]->Attribute("media")) {
            StreamResult<QUrl> url = resolveUri(base, QByteArrayView(media));
            if (!url.ok())
                return url.error();
            segment.url = url.value();
        }
        if (const std::optional<QByteArrayView> range = attribute(urls[i], "mediaRange")) {
            segment.range = parseRange(*range);
            if (!segment.range)
                return malformed(QStringLiteral("mediaRange is not first-last"));
        }
        segment.duration = i < durations.size() ? durations[i] : each;
        segment.start = start;
        start += segment.duration;
        segment.sequence = startNumber + i;
        segment.initSection = representation.init ? 0 : -1;
        if (auto error = addSegment(representation, segment))
            return error;
    }
    return std::nullopt;
}

} // namespace

StreamResult<DashManifest> DashManifest::parse(QByteArrayView text, const QUrl& address, const QDateTime& now)
{
    return Parser(address, now).run(text);
}
