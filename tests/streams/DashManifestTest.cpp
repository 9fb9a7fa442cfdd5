#include "streams/DashManifest.h"
#include "streams/IsoDuration.h"
#include "streams/SegmentTemplate.h"
#include "streams/StreamLimits.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

const QUrl Address(QStringLiteral("http://127.0.0.1/show/dash/manifest.mpd"));

DashManifest parsed(const QByteArray& text, const QDateTime& now = {})
{
    StreamResult<DashManifest> result = DashManifest::parse(text, Address, now);
    EXPECT_TRUE(result.ok()) << result.error().text.toStdString();
    return result.ok() ? result.value() : DashManifest{};
}

StreamError failed(const QByteArray& text)
{
    StreamResult<DashManifest> result = DashManifest::parse(text, Address);
    EXPECT_FALSE(result.ok()) << text.left(300).constData();
    return result.ok() ? StreamError{} : result.error();
}

QByteArray mpd(const char* attributes, const QByteArray& body)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" profiles="urn:mpeg:dash:profile:isoff-live:2011" )" +
           QByteArray(attributes) + ">\n" + body + "\n</MPD>\n";
}

QStringList urls(const QList<SegmentRequest>& segments)
{
    QStringList list;
    for (const SegmentRequest& segment : segments)
        list.append(segment.url.toString());
    return list;
}

TEST(IsoDurationTest, ReadsTheFieldsMpdsWrite)
{
    struct Row
    {
        const char* text;
        double seconds; // < 0: refused
    };
    const Row rows[] = {
        {"PT0S", 0},        {"PT20S", 20},       {"PT1H2M3.5S", 3723.5},
        {"PT2M", 120},      {"P1DT12H", 129600}, {"P0Y0M1DT0H0M0S", 86400},
        {"PT0.040S", 0.04}, {"P2W", 1209600},    {"PT634.566S", 634.566},
        {"", -1},           {"P", -1},           {"PT", -1},
        {"T20S", -1},       {"PT-1S", -1},       {"PT1.5M", -1},
        {"PT1S2M", -1},     {"PT1H1H", -1},      {"P1M", -1},
        {"P1Y", -1},        {"P1DT", -1},        {"PT1S ", -1},
        {"pt1s", -1},       {"PT1S1", -1},       {"P99999D", -1},
        {"PT1..2S", -1},    {"P1D2D", -1},       {"P1H", -1},
    };
    for (const Row& row : rows) {
        const std::optional<double> seconds = parseIsoDuration(QByteArrayView(row.text));
        if (row.seconds < 0) {
            EXPECT_FALSE(seconds) << row.text;
        } else {
            ASSERT_TRUE(seconds) << row.text;
            EXPECT_DOUBLE_EQ(*seconds, row.seconds) << row.text;
        }
    }
}

TEST(SegmentTemplateTest, IdentifiersWidthsAndDollars)
{
    SegmentTemplate::Values values{QStringLiteral("v1_$x"), 42, 800000, 1234567};
    struct Row
    {
        const char* pattern;
        const char* expanded; // nullptr: refused
    };
    const Row rows[] = {
        {"$RepresentationID$/seg-$Number$.m4s", "v1_$x/seg-42.m4s"},
        {"seg-$Number%05d$.m4s", "seg-00042.m4s"},
        {"seg-$Number%01d$", "seg-42"},
        {"$Bandwidth$/$Time$.m4s", "800000/1234567.m4s"},
        {"$Time%010d$", "0001234567"},
        {"cost$$.m4s", "cost$.m4s"},
        {"$$$Number$$$", "$42$"},
        {"plain.mp4", "plain.mp4"},
        {"seg-$Number", nullptr},
        {"seg-$Index$", nullptr},
        {"seg-$RepresentationID%05d$", nullptr},
        {"seg-$Number%5d$", nullptr},
        {"seg-$Number%05x$", nullptr},
        {"seg-$Number%033d$", nullptr},
        {"seg-$Number%0d$", nullptr},
        {"seg-$SubNumber$", nullptr},
    };
    for (const Row& row : rows) {
        StreamResult<QString> result = SegmentTemplate::expand(QString::fromLatin1(row.pattern), values);
        if (!row.expanded) {
            EXPECT_FALSE(result.ok()) << row.pattern;
            continue;
        }
        ASSERT_TRUE(result.ok()) << row.pattern << ": " << result.error().text.toStdString();
        EXPECT_EQ(result.value(), QString::fromLatin1(row.expanded)) << row.pattern;
    }
}

TEST(DashManifestTest, TemplateWithTimelineAndBaseUrlsAtEveryLevel)
{
    const DashManifest manifest =
        parsed(mpd(R"(type="static" mediaPresentationDuration="PT10S" maxSegmentDuration="PT4S")",
                   R"(<BaseURL>media/</BaseURL>
<Period id="p0">
  <BaseURL>period/</BaseURL>
  <AdaptationSet id="0" contentType="video" mimeType="video/mp4" codecs="avc1.64001f" frameRate="30000/1001">
    <BaseURL>/root/</BaseURL>
    <SegmentTemplate timescale="1000" initialization="init-$RepresentationID$.m4s" media="chunk-$RepresentationID$-$Number%05d$-$Time$.m4s" startNumber="7">
      <SegmentTimeline>
        <S t="500" d="4000" r="1"/>
        <S d="2000"/>
      </SegmentTimeline>
    </SegmentTemplate>
    <Representation id="hd" bandwidth="2000000" width="1280" height="720">
      <BaseURL>rep/</BaseURL>
    </Representation>
    <Representation id="sd" bandwidth="500000" width="640" height="360" codecs="avc1.42c01e"/>
  </AdaptationSet>
  <AdaptationSet id="1" mimeType="audio/mp4" lang="en">
    <SegmentTemplate timescale="48000" duration="192000" initialization="a/init.mp4" media="a/$Number$.m4s"/>
    <Representation id="aac" bandwidth="128000" codecs="mp4a.40.2"/>
  </AdaptationSet>
  <AdaptationSet id="2" contentType="text" mimeType="application/ttml+xml">
    <Representation id="sub" bandwidth="1000"><BaseURL>s.ttml</BaseURL></Representation>
  </AdaptationSet>
</Period>)"));
    EXPECT_FALSE(manifest.live);
    EXPECT_DOUBLE_EQ(manifest.duration, 10);
    EXPECT_DOUBLE_EQ(manifest.maxSegmentDuration, 4);
    ASSERT_EQ(manifest.periods.size(), 1);
    const DashPeriod& period = manifest.periods[0];
    EXPECT_DOUBLE_EQ(period.duration, 10) << "the last period ends with the presentation";
    ASSERT_EQ(period.video.size(), 2);
    ASSERT_EQ(period.audio.size(), 1) << "subtitles are not downloaded";

    const DashRepresentation& hd = period.video[0];
    EXPECT_EQ(hd.variant.id, QStringLiteral("hd"));
    EXPECT_EQ(hd.variant.bandwidth, 2000000);
    EXPECT_EQ(hd.variant.width, 1280);
    EXPECT_EQ(hd.variant.height, 720);
    EXPECT_NEAR(hd.variant.frameRate, 29.97, 0.001);
    EXPECT_EQ(hd.variant.codecs, QStringLiteral("avc1.64001f"));
    EXPECT_EQ(hd.variant.mimeType, QStringLiteral("video/mp4"));
    ASSERT_TRUE(hd.init);
    EXPECT_EQ(hd.init->url, QUrl(QStringLiteral("http://127.0.0.1/root/rep/init-hd.m4s")));
    EXPECT_EQ(urls(hd.segments), (QStringList{
                                     QStringLiteral("http://127.0.0.1/root/rep/chunk-hd-00007-500.m4s"),
                                     QStringLiteral("http://127.0.0.1/root/rep/chunk-hd-00008-4500.m4s"),
                                     QStringLiteral("http://127.0.0.1/root/rep/chunk-hd-00009-8500.m4s"),
                                 }));
    EXPECT_DOUBLE_EQ(hd.segments[0].duration, 4);
    EXPECT_DOUBLE_EQ(hd.segments[2].duration, 2);
    EXPECT_EQ(hd.segments[0].sequence, 7);
    EXPECT_EQ(hd.segments[0].initSection, 0);
    EXPECT_EQ(period.video[1].variant.codecs, QStringLiteral("avc1.42c01e")) << "the representation's own";
    EXPECT_EQ(period.video[1].segments[0].url.toString(),
              QStringLiteral("http://127.0.0.1/root/chunk-sd-00007-500.m4s"));

    const DashRepresentation& audio = period.audio[0];
    EXPECT_EQ(audio.language, QStringLiteral("en"));
    EXPECT_EQ(audio.init->url.toString(), QStringLiteral("http://127.0.0.1/show/dash/media/period/a/init.mp4"));
    // 10 s in 4 s segments: the last one is 2 s long.
    EXPECT_EQ(urls(audio.segments), (QStringList{
                                        QStringLiteral("http://127.0.0.1/show/dash/media/period/a/1.m4s"),
                                        QStringLiteral("http://127.0.0.1/show/dash/media/period/a/2.m4s"),
                                        QStringLiteral("http://127.0.0.1/show/dash/media/period/a/3.m4s"),
                                    }));
    EXPECT_DOUBLE_EQ(audio.segments[2].duration, 2);
}

TEST(DashManifestTest, RepeatToThePeriodEndAndToTheNextTime)
{
    const DashManifest manifest = parsed(mpd(R"(mediaPresentationDuration="PT9S")", R"(<Period>
  <AdaptationSet mimeType="video/mp4">
    <SegmentTemplate timescale="10" media="$Time$.m4s">
      <SegmentTimeline><S t="0" d="20" r="-1"/><S t="60" d="10" r="-1"/></SegmentTimeline>
    </SegmentTemplate>
    <Representation id="v" bandwidth="1"/>
  </AdaptationSet>
</Period>)"));
    EXPECT_EQ(
        urls(manifest.periods[0].video[0].segments),
        (QStringList{
            QStringLiteral("http://127.0.0.1/show/dash/0.m4s"), QStringLiteral("http://127.0.0.1/show/dash/20.m4s"),
            QStringLiteral("http://127.0.0.1/show/dash/40.m4s"), QStringLiteral("http://127.0.0.1/show/dash/60.m4s"),
            QStringLiteral("http://127.0.0.1/show/dash/70.m4s"), QStringLiteral("http://127.0.0.1/show/dash/80.m4s")}));
}

TEST(DashManifestTest, SegmentListAndSegmentBase)
{
    const DashManifest manifest = parsed(mpd(R"(mediaPresentationDuration="PT6S")", R"(<Period duration="PT6S">
  <AdaptationSet mimeType="video/mp4">
    <Representation id="list" bandwidth="900">
      <BaseURL>http://media.example.test/v/file.mp4</BaseURL>
      <SegmentList timescale="90000" duration="270000">
        <Initialization sourceURL="init.mp4" range="0-99"/>
        <SegmentURL media="s1.m4s"/>
        <SegmentURL mediaRange="100-199"/>
      </SegmentList>
    </Representation>
  </AdaptationSet>
  <AdaptationSet mimeType="audio/mp4">
    <Representation id="single" bandwidth="64000">
      <BaseURL>audio.mp4</BaseURL>
      <SegmentBase indexRange="830-1029" timescale="48000"><Initialization range="0-829"/></SegmentBase>
    </Representation>
  </AdaptationSet>
  <AdaptationSet mimeType="audio/mp4" lang="de">
    <Representation id="whole" bandwidth="1"><BaseURL>whole.m4a</BaseURL></Representation>
  </AdaptationSet>
</Period>)"));
    const DashPeriod& period = manifest.periods[0];
    const DashRepresentation& list = period.video[0];
    ASSERT_TRUE(list.init);
    EXPECT_EQ(list.init->url.toString(), QStringLiteral("http://media.example.test/v/init.mp4"));
    EXPECT_EQ(list.init->range, (ByteRange{0, 100}));
    ASSERT_EQ(list.segments.size(), 2);
    EXPECT_EQ(list.segments[0].url.toString(), QStringLiteral("http://media.example.test/v/s1.m4s"));
    EXPECT_FALSE(list.segments[0].range);
    EXPECT_EQ(list.segments[1].url.toString(), QStringLiteral("http://media.example.test/v/file.mp4"));
    EXPECT_EQ(list.segments[1].range, (ByteRange{100, 100}));
    EXPECT_DOUBLE_EQ(list.segments[1].duration, 3);

    const DashRepresentation& single = period.audio[0];
    EXPECT_TRUE(single.needsIndex());
    EXPECT_EQ(single.indexUrl.toString(), QStringLiteral("http://127.0.0.1/show/dash/audio.mp4"));
    EXPECT_EQ(single.indexRange, (ByteRange{830, 200}));
    EXPECT_EQ(single.init->range, (ByteRange{0, 830}));
    EXPECT_TRUE(single.segments.isEmpty());

    const DashRepresentation& whole = period.audio[1];
    EXPECT_FALSE(whole.needsIndex());
    ASSERT_EQ(whole.segments.size(), 1);
    EXPECT_EQ(whole.segments[0].url.toString(), QStringLiteral("http://127.0.0.1/show/dash/whole.m4a"));
    EXPECT_DOUBLE_EQ(whole.segments[0].duration, 6);
}

TEST(DashManifestTest, PeriodsFollowEachOther)
{
    const DashManifest manifest = parsed(mpd(R"(mediaPresentationDuration="PT10S")", R"(
<Period id="a" duration="PT4S"><AdaptationSet mimeType="video/mp4">
  <SegmentTemplate media="a$Number$" duration="2"/><Representation id="v" bandwidth="1"/></AdaptationSet></Period>
<Period id="b"><AdaptationSet mimeType="video/mp4">
  <SegmentTemplate media="b$Number$" duration="2"/><Representation id="v" bandwidth="1"/></AdaptationSet></Period>)"));
    ASSERT_EQ(manifest.periods.size(), 2);
    EXPECT_DOUBLE_EQ(manifest.periods[1].start, 4);
    EXPECT_DOUBLE_EQ(manifest.periods[1].duration, 6);
    EXPECT_EQ(manifest.periods[0].video[0].segments.size(), 2);
    EXPECT_EQ(manifest.periods[1].video[0].segments.size(), 3);
}

TEST(DashManifestTest, DynamicManifestsAreLive)
{
    const QByteArray text = mpd(
        R"(type="dynamic" availabilityStartTime="2026-12-09T20:00:00Z" minimumUpdatePeriod="PT2S" timeShiftBufferDepth="PT30S")",
        R"(<Period start="PT0S"><AdaptationSet mimeType="video/mp4">
<SegmentTemplate timescale="1000" duration="4000" startNumber="1" media="live-$Number$.m4s"/>
<Representation id="v" bandwidth="1"/></AdaptationSet></Period>)");
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-09T20:01:00.500Z"), Qt::ISODateWithMs);
    const DashManifest manifest = parsed(text, now);
    EXPECT_TRUE(manifest.live);
    EXPECT_DOUBLE_EQ(manifest.minimumUpdatePeriod, 2);
    EXPECT_DOUBLE_EQ(manifest.timeShiftBufferDepth, 30);
    EXPECT_EQ(manifest.availabilityStartTime,
              QDateTime::fromString(QStringLiteral("2026-12-09T20:00:00Z"), Qt::ISODate));
    // 60.5 s after the start: 15 whole segments out, the last 7 (28 s) inside the 30 s window.
    const QList<SegmentRequest>& segments = manifest.periods[0].video[0].segments;
    ASSERT_EQ(segments.size(), 7);
    EXPECT_EQ(segments.first().url.toString(), QStringLiteral("http://127.0.0.1/show/dash/live-9.m4s"));
    EXPECT_EQ(segments.last().url.toString(), QStringLiteral("http://127.0.0.1/show/dash/live-15.m4s"));
    // Without the clock there is no edge yet, and no error.
    EXPECT_TRUE(parsed(text).periods[0].video[0].segments.isEmpty());
}

// The live forms a recording meets: a stream that has run for days without naming a time-shift
// window, a timeline whose last S repeats up to now, and the start times that order segments
// across reloads.
TEST(DashManifestTest, LiveEdgeOfLongRunningStreamsAndOpenTimelines)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-09T20:00:00.000Z"), Qt::ISODateWithMs);
    // Three days of 2 s segments since availabilityStartTime, no timeShiftBufferDepth: the
    // recording needs the edge only, so the list is the last MaxLiveWindow segments.
    const DashManifest days =
        parsed(mpd(R"(type="dynamic" availabilityStartTime="2026-12-06T20:00:00Z" minimumUpdatePeriod="PT2S")",
                   R"(<Period start="PT0S"><AdaptationSet mimeType="video/mp4">
<SegmentTemplate timescale="10" duration="20" startNumber="5" media="d-$Number$.m4s"/>
<Representation id="v" bandwidth="1"/></AdaptationSet></Period>)"),
               now);
    const QList<SegmentRequest>& window = days.periods[0].video[0].segments;
    ASSERT_EQ(window.size(), StreamLimits::MaxLiveWindow);
    // 259200 s / 2 s = 129600 segments out, numbered from 5.
    EXPECT_EQ(window.last().url.toString(), QStringLiteral("http://127.0.0.1/show/dash/d-129604.m4s"));
    EXPECT_EQ(window.last().sequence, 129604);
    EXPECT_DOUBLE_EQ(window.last().start, 259198.0);
    EXPECT_DOUBLE_EQ(window.first().start, 259198.0 - 2.0 * double(StreamLimits::MaxLiveWindow - 1));

    // r="-1" on the last S of a live period: repeated up to the segments wholly out by now.
    const QByteArray timeline = mpd(R"(type="dynamic" availabilityStartTime="2026-12-09T19:59:50Z")",
                                    R"(<Period id="p" start="PT0S"><AdaptationSet mimeType="video/mp4">
<SegmentTemplate timescale="1000" presentationTimeOffset="500" media="t-$Time$.m4s"><SegmentTimeline>
<S t="500" d="3000"/><S d="2000" r="-1"/></SegmentTimeline></SegmentTemplate>
<Representation id="v" bandwidth="1"/></AdaptationSet></Period>)");
    // 10 s out: 3 s, then 2 s segments ending at 5, 7, 9 s (one ending at 11 s is not out yet).
    const QList<SegmentRequest> open = parsed(timeline, now).periods[0].video[0].segments;
    EXPECT_EQ(urls(open), (QStringList{QStringLiteral("http://127.0.0.1/show/dash/t-500.m4s"),
                                       QStringLiteral("http://127.0.0.1/show/dash/t-3500.m4s"),
                                       QStringLiteral("http://127.0.0.1/show/dash/t-5500.m4s"),
                                       QStringLiteral("http://127.0.0.1/show/dash/t-7500.m4s")}));
    ASSERT_EQ(open.size(), 4);
    EXPECT_DOUBLE_EQ(open[0].start, 0.0);
    EXPECT_DOUBLE_EQ(open[1].start, 3.0);
    EXPECT_DOUBLE_EQ(open[3].start, 7.0);
    // Before any repeat is out, only the first S; without the clock the open end is an error.
    const QDateTime early = now.addSecs(-6);
    EXPECT_EQ(parsed(timeline, early).periods[0].video[0].segments.size(), 1);
    EXPECT_EQ(failed(timeline).code, StreamError::Code::Malformed);
    // A static manifest keeps the period's end for r="-1" and ignores the clock.
    const QList<SegmentRequest> closed =
        parsed(mpd(R"(type="static" mediaPresentationDuration="PT6S")",
                   R"(<Period><AdaptationSet mimeType="video/mp4"><SegmentTemplate timescale="1" media="s-$Time$.m4s">
<SegmentTimeline><S t="0" d="2" r="-1"/></SegmentTimeline></SegmentTemplate>
<Representation id="v" bandwidth="1"/></AdaptationSet></Period>)"),
               now)
            .periods[0]
            .video[0]
            .segments;
    EXPECT_EQ(closed.size(), 3);
}

TEST(DashManifestTest, ContentProtectionMarksTheManifest)
{
    for (const char* where : {"set", "representation"}) {
        const QByteArray protection =
            R"(<ContentProtection schemeIdUri="urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed"/>)";
        const bool inSet = QByteArrayView(where) == "set";
        const DashManifest manifest =
            parsed(mpd("", "<Period duration=\"PT2S\"><AdaptationSet mimeType=\"video/mp4\">" +
                               (inSet ? protection : QByteArray()) + "<Representation id=\"v\" bandwidth=\"1\">" +
                               (inSet ? QByteArray() : protection) +
                               "<BaseURL>v.mp4</BaseURL></Representation>"
                               "</AdaptationSet></Period>"));
        EXPECT_TRUE(manifest.isProtected) << where;
    }
}

TEST(DashManifestTest, MalformedManifestsGiveAClearError)
{
    const QByteArray period = "<Period duration=\"PT4S\"><AdaptationSet mimeType=\"video/mp4\">";
    const QByteArray end = "</AdaptationSet></Period>";
    struct Row
    {
        QByteArray text;
        const char* says;
    };
    const Row rows[] = {
        {"", "not XML"},
        {"<MPD><Period>", "not XML"},
        {"<?xml version=\"1.0\"?><html/>", "root element is not MPD"},
        {mpd("", ""), "no Period"},
        {mpd("type=\"live\"", period + end), "type"},
        {mpd("mediaPresentationDuration=\"10s\"", period + end), "mediaPresentationDuration"},
        {mpd("availabilityStartTime=\"yesterday\"", period + end), "availabilityStartTime"},
        {mpd("", period + "<Representation bandwidth=\"1\"/>" + end), "without an id"},
        {mpd("", period + "<Representation id=\"v\"/>" + end), "no bandwidth"},
        {mpd("", period + "<Representation id=\"v\" bandwidth=\"-1\"/>" + end), "bandwidth"},
        {mpd("", period + "<Representation id=\"v\" bandwidth=\"1\" width=\"wide\"/>" + end), "width"},
        {mpd("", period + "<Representation id=\"v\" bandwidth=\"1\" frameRate=\"30/0\"/>" + end), "frameRate"},
        {mpd("", period + "<SegmentTemplate media=\"$Number$\"/><Representation id=\"v\" bandwidth=\"1\"/>" + end),
         "without a timeline or a duration"},
        {mpd("", period + "<SegmentTemplate duration=\"2\"/><Representation id=\"v\" bandwidth=\"1\"/>" + end),
         "without media"},
        {mpd("", period +
                     "<SegmentTemplate media=\"$Index$\" duration=\"2\"/><Representation id=\"v\" bandwidth=\"1\"/>" +
                     end),
         "unknown identifier"},
        {mpd("", period +
                     "<SegmentTemplate media=\"x\" timescale=\"0\" duration=\"2\"/><Representation id=\"v\" "
                     "bandwidth=\"1\"/>" +
                     end),
         "timescale"},
        {mpd("", period +
                     "<SegmentTemplate media=\"x\"><SegmentTimeline><S t=\"0\"/></SegmentTimeline></SegmentTemplate>"
                     "<Representation id=\"v\" bandwidth=\"1\"/>" +
                     end),
         "positive d"},
        {mpd("", period +
                     "<SegmentTemplate media=\"x\"><SegmentTimeline><S d=\"1\" "
                     "r=\"-2\"/></SegmentTimeline></SegmentTemplate>"
                     "<Representation id=\"v\" bandwidth=\"1\"/>" +
                     end),
         "r is neither"},
        {mpd("type=\"dynamic\"",
             "<Period><AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate media=\"x\"><SegmentTimeline>"
             "<S d=\"1\" r=\"-1\"/></SegmentTimeline></SegmentTemplate><Representation id=\"v\" "
             "bandwidth=\"1\"/>" +
                 end),
         "unknown length"},
        {mpd("", period + "<SegmentBase indexRange=\"9-1\"/><Representation id=\"v\" bandwidth=\"1\"/>" + end),
         "indexRange"},
        {mpd("", period +
                     "<Representation id=\"v\" bandwidth=\"1\"><BaseURL>file:///etc/passwd</BaseURL></Representation>" +
                     end),
         "not http"},
        {mpd("", period +
                     "<SegmentList><SegmentURL mediaRange=\"a-b\"/></SegmentList><Representation id=\"v\" "
                     "bandwidth=\"1\"/>" +
                     end),
         "mediaRange"},
    };
    for (const Row& row : rows) {
        const StreamError error = failed(row.text);
        EXPECT_TRUE(error.text.contains(QLatin1String(row.says)))
            << row.text.constData() << "\n -> " << error.text.toStdString();
    }
}

TEST(DashManifestTest, Bounds)
{
    QByteArray big = mpd("", "<Period/>");
    big.append(StreamLimits::MaxManifestBytes - big.size() + 1, ' ');
    EXPECT_EQ(failed(big).code, StreamError::Code::TooLarge);

    // Nesting: tinyxml2 parses it, the depth bound refuses it.
    QByteArray deep;
    for (int i = 0; i < StreamLimits::MaxXmlDepth; ++i)
        deep += "<x>";
    for (int i = 0; i < StreamLimits::MaxXmlDepth; ++i)
        deep += "</x>";
    EXPECT_EQ(failed(mpd("", "<Period>" + deep + "</Period>")).code, StreamError::Code::TooDeep);
    QByteArray deeper;
    for (int i = 0; i < 1000; ++i)
        deeper += "<x>";
    EXPECT_EQ(failed(mpd("", deeper)).code, StreamError::Code::TooDeep);

    QByteArray elements;
    for (qsizetype i = 0; i <= StreamLimits::MaxXmlElements; ++i)
        elements += "<a/>";
    EXPECT_EQ(failed(mpd("", elements)).code, StreamError::Code::TooDeep);

    // Segments: a repeat count that would expand past the bound is refused before expanding.
    auto timeline = [](const QByteArray& repeat) {
        return mpd(
            "", "<Period duration=\"PT1S\"><AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate media=\"$Number$\">"
                "<SegmentTimeline><S d=\"1\" r=\"" +
                    repeat +
                    "\"/></SegmentTimeline></SegmentTemplate><Representation id=\"v\" bandwidth=\"1\"/>"
                    "</AdaptationSet></Period>");
    };
    StreamResult<DashManifest> atBound =
        DashManifest::parse(timeline(QByteArray::number(StreamLimits::MaxSegments - 1)), Address);
    ASSERT_TRUE(atBound.ok()) << atBound.error().text.toStdString();
    EXPECT_EQ(atBound.value().periods[0].video[0].segments.size(), StreamLimits::MaxSegments);
    EXPECT_EQ(failed(timeline(QByteArray::number(StreamLimits::MaxSegments))).code, StreamError::Code::TooManySegments);
    EXPECT_EQ(failed(timeline("999999999999999999")).code, StreamError::Code::TooManySegments);
    // Across representations too.
    const QByteArray twoReps = mpd("mediaPresentationDuration=\"PT60000S\"",
                                   "<Period><AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate media=\"$Number$\" "
                                   "duration=\"1\"/><Representation id=\"a\" bandwidth=\"1\"/><Representation id=\"b\" "
                                   "bandwidth=\"1\"/></AdaptationSet></Period>");
    EXPECT_EQ(failed(twoReps).code, StreamError::Code::TooManySegments);
    // A template duration that counts a ten-year period in milliseconds.
    EXPECT_EQ(failed(mpd("mediaPresentationDuration=\"P3000D\"",
                         "<Period><AdaptationSet mimeType=\"video/mp4\"><SegmentTemplate media=\"$Number$\" "
                         "duration=\"1\" timescale=\"1000\"/><Representation id=\"a\" "
                         "bandwidth=\"1\"/></AdaptationSet></Period>"))
                  .code,
              StreamError::Code::TooManySegments);

    QByteArray representations = "<Period duration=\"PT1S\"><AdaptationSet mimeType=\"video/mp4\">";
    for (int i = 0; i <= StreamLimits::MaxVariants; ++i)
        representations += "<Representation id=\"r" + QByteArray::number(i) + "\" bandwidth=\"1\"/>";
    EXPECT_EQ(failed(mpd("", representations + "</AdaptationSet></Period>")).code, StreamError::Code::TooLong);

    QByteArray periods;
    for (int i = 0; i <= StreamLimits::MaxPeriods; ++i)
        periods += "<Period/>";
    EXPECT_EQ(failed(mpd("", periods)).code, StreamError::Code::TooLong);

    const QByteArray longUrl =
        "<Period duration=\"PT1S\"><AdaptationSet mimeType=\"video/mp4\"><Representation id=\"v\" "
        "bandwidth=\"1\"><BaseURL>" +
        QByteArray(StreamLimits::MaxUriLength + 1, 'u') + "</BaseURL></Representation></AdaptationSet></Period>";
    EXPECT_EQ(failed(mpd("", longUrl)).code, StreamError::Code::TooLong);
}

} // namespace
