#include "streams/FetchPlanner.h"
#include "streams/ManifestDetection.h"
#include "streams/StreamLimits.h"
#include "streams/StreamPlanBuilder.h"
#include "streams/VariantChoice.h"

#include "support/QStringPrinter.h"
#include "support/ScopedSettingsStore.h"

#include <QHash>

#include <gtest/gtest.h>

namespace {

QUrl url(const char* text)
{
    return QUrl(QString::fromLatin1(text));
}

StreamVariant variant(int width, int height, qint64 bandwidth, double rate = 25)
{
    StreamVariant v;
    v.width = width;
    v.height = height;
    v.bandwidth = bandwidth;
    v.frameRate = rate;
    return v;
}

TEST(VariantChoiceTest, BestIsResolutionThenBandwidthThenFrameRate)
{
    const QList<StreamVariant> variants{
        variant(1280, 720, 3000000, 30),  // 0
        variant(1920, 1080, 2000000, 25), // 1: most pixels
        variant(1920, 1080, 2000000, 50), // 2: same, faster
        variant(1920, 1080, 1000000, 60), // 3: less bandwidth wins over frame rate
        variant(0, 0, 9000000),           // 4: audio only, no resolution
        variant(426, 240, 300000),        // 5
    };
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::Best), 2);
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::Smallest), 4);
    EXPECT_EQ(VariantChoice::chooseVariant(variants.mid(0, 4) + variants.mid(5), StreamVariantChoice::Smallest), 4);
    EXPECT_EQ(VariantChoice::chooseVariant({}, StreamVariantChoice::Best), -1);

    // As played: the variant the player fetched last; none fetched means best.
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::AsPlayed, {-1, -1, -1, -1, -1, 3}), 5);
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::AsPlayed, {7, -1, -1, -1, -1, 3}), 0);
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::AsPlayed, {}), 2);
    EXPECT_EQ(VariantChoice::chooseVariant(variants, StreamVariantChoice::Best, {-1, -1, -1, -1, -1, 3}), 2);
}

TEST(VariantChoiceTest, AudioIsTheDefaultOfTheGroupElseTheBest)
{
    auto rendition = [](const char* group, bool isDefault, qint64 bandwidth, bool autoselect = false) {
        AudioRendition r;
        r.groupId = QString::fromLatin1(group);
        r.isDefault = isDefault;
        r.bandwidth = bandwidth;
        r.autoselect = autoselect;
        return r;
    };
    const QList<AudioRendition> renditions{
        rendition("lo", true, 64000),       // 0
        rendition("hi", false, 96000),      // 1
        rendition("hi", true, 64000),       // 2: default of "hi"
        rendition("x", false, 64000),       // 3
        rendition("x", false, 64000, true), // 4: same bandwidth, autoselect
        rendition("y", false, 1),           // 5
        rendition("y", false, 128000),      // 6
    };
    EXPECT_EQ(VariantChoice::chooseAudio(renditions, QStringLiteral("hi")), 2);
    EXPECT_EQ(VariantChoice::chooseAudio(renditions, QStringLiteral("lo")), 0);
    EXPECT_EQ(VariantChoice::chooseAudio(renditions, QStringLiteral("x")), 4);
    EXPECT_EQ(VariantChoice::chooseAudio(renditions, QStringLiteral("y")), 6);
    EXPECT_EQ(VariantChoice::chooseAudio(renditions, QStringLiteral("none")), -1);
}

TEST(VariantChoiceTest, TheSettingStoresItsTexts)
{
    ScopedSettingsStore store;
    Settings& settings = Settings::instance();
    EXPECT_EQ(settings.streamVariantChoice(), StreamVariantChoice::Best);
    for (const auto& [choice, text] :
         {std::pair{StreamVariantChoice::AsPlayed, "as played"}, std::pair{StreamVariantChoice::Smallest, "smallest"},
          std::pair{StreamVariantChoice::Best, "best"}}) {
        settings.setStreamVariantChoice(choice);
        EXPECT_EQ(settings.read(QStringLiteral("streamvariant")), QString::fromLatin1(text));
        EXPECT_EQ(settings.streamVariantChoice(), choice);
    }
    for (const char* other : {"As Played", "largest", ""}) {
        settings.write(QStringLiteral("streamvariant"), QString::fromLatin1(other));
        EXPECT_EQ(settings.streamVariantChoice(), StreamVariantChoice::Best) << other;
    }
}

TEST(ManifestDetectionTest, TypesAndExtensions)
{
    struct Row
    {
        const char* type;
        const char* path;
        ResponseKind kind;
    };
    const Row rows[] = {
        {"application/vnd.apple.mpegurl", "/a", ResponseKind::HlsManifest},
        {"Application/X-MpegURL; charset=utf-8", "/a", ResponseKind::HlsManifest},
        {"audio/mpegurl", "/a.txt", ResponseKind::HlsManifest},
        {" application/dash+xml ", "/a", ResponseKind::DashManifest},
        {"text/plain", "/live/index.m3u8", ResponseKind::HlsManifest},
        {"application/octet-stream", "/v/Manifest.MPD?token=1", ResponseKind::DashManifest},
        {"binary/octet-stream", "/v/a.m3u8#t=1", ResponseKind::HlsManifest},
        {"text/plain", "/v/a.m3u8.txt", ResponseKind::Other},
        {"text/plain", "/v/a.txt?x=.m3u8", ResponseKind::Other},
        {"text/html", "/v/a.m3u8", ResponseKind::Other},
        {"video/mp4", "/v/a.mpd", ResponseKind::Other},
        {"application/vnd.apple.mpegurlx", "/a", ResponseKind::Other},
        {"video/MP2T", "/s/1.ts", ResponseKind::StreamSegment},
        {"video/iso.segment", "/s/1.m4s", ResponseKind::StreamSegment},
        {"", "/a.m3u8", ResponseKind::Other},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(classifyResponse(QString::fromLatin1(row.type), QString::fromLatin1(row.path)), row.kind)
            << row.type << " " << row.path;
    }
}

TEST(FetchPlannerTest, RefusesLoopsAndTooManyPlaylists)
{
    FetchPlanner planner(url("http://127.0.0.1/m.m3u8"), 3);
    EXPECT_EQ(planner.next(), url("http://127.0.0.1/m.m3u8"));
    EXPECT_FALSE(planner.fetched(url("http://127.0.0.1/m.m3u8"),
                                 {url("http://127.0.0.1/v.m3u8"), url("http://127.0.0.1/a.m3u8")}));
    EXPECT_EQ(planner.outstanding(), (QList<QUrl>{url("http://127.0.0.1/v.m3u8"), url("http://127.0.0.1/a.m3u8")}));
    EXPECT_FALSE(planner.fetched(url("http://127.0.0.1/a.m3u8"), {}));
    EXPECT_EQ(planner.next(), url("http://127.0.0.1/v.m3u8"));
    const std::optional<StreamError> more =
        planner.fetched(url("http://127.0.0.1/v.m3u8"), {url("http://127.0.0.1/w.m3u8")});
    ASSERT_TRUE(more);
    EXPECT_EQ(more->code, StreamError::Code::TooManyPlaylists);
    EXPECT_TRUE(planner.done());

    FetchPlanner self(url("http://127.0.0.1/m.m3u8"), 8);
    const std::optional<StreamError> loop =
        self.fetched(url("http://127.0.0.1/m.m3u8"), {url("http://127.0.0.1/m.m3u8#again")});
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->code, StreamError::Code::Loop);
    EXPECT_TRUE(self.done());

    FetchPlanner unasked(url("http://127.0.0.1/m.m3u8"), 8);
    EXPECT_TRUE(unasked.fetched(url("http://127.0.0.1/other.m3u8"), {}));
}

// Serves the builder from a table of texts, as the download layer would from the network.
struct Served
{
    QHash<QUrl, QByteArray> files;
    int fetches = 0;

    void run(StreamPlanBuilder& builder)
    {
        for (int round = 0; round < 20 && !builder.finished(); ++round) {
            for (const StreamFetch& fetch : builder.pending()) {
                ++fetches;
                const auto found = files.constFind(fetch.url);
                if (found == files.constEnd()) {
                    builder.fail(fetch, QStringLiteral("404"));
                    continue;
                }
                builder.supply(fetch, fetch.range ? found->mid(fetch.range->offset, fetch.range->length) : *found);
            }
        }
    }
};

const char* const Master = R"(#EXTM3U
#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID="a",NAME="main",DEFAULT=YES,URI="audio.m3u8"
#EXT-X-STREAM-INF:BANDWIDTH=500000,RESOLUTION=640x360,AUDIO="a"
low.m3u8
#EXT-X-STREAM-INF:BANDWIDTH=2000000,RESOLUTION=1280x720,AUDIO="a",CODECS="avc1.64001f"
high.m3u8
)";

QByteArray media(const char* prefix, int count, bool end = true)
{
    QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n";
    for (int i = 0; i < count; ++i)
        text += "#EXTINF:4,\n" + QByteArray(prefix) + QByteArray::number(i) + ".ts\n";
    return end ? text + "#EXT-X-ENDLIST\n" : text;
}

TEST(StreamPlanBuilderTest, HlsMasterGivesTheChosenVariantAndItsAudio)
{
    Served served;
    served.files.insert(url("http://127.0.0.1/s/master.m3u8"), Master);
    served.files.insert(url("http://127.0.0.1/s/high.m3u8"), media("h", 3));
    served.files.insert(url("http://127.0.0.1/s/low.m3u8"), media("l", 3));
    served.files.insert(url("http://127.0.0.1/s/audio.m3u8"), media("a", 3));

    StreamPlanBuilder best(StreamFormat::Hls, url("http://127.0.0.1/s/master.m3u8"), StreamVariantChoice::Best);
    served.run(best);
    ASSERT_TRUE(best.finished());
    ASSERT_FALSE(best.error()) << best.error()->text.toStdString();
    const StreamPlan& plan = best.plan();
    EXPECT_EQ(plan.variant.url, url("http://127.0.0.1/s/high.m3u8"));
    ASSERT_TRUE(plan.audio);
    EXPECT_EQ(plan.audio->url, url("http://127.0.0.1/s/audio.m3u8"));
    ASSERT_EQ(plan.tracks.size(), 2);
    EXPECT_EQ(plan.tracks[0].kind, TrackPlan::Kind::Video);
    EXPECT_EQ(plan.tracks[0].codecs, QStringLiteral("avc1.64001f"));
    EXPECT_EQ(plan.tracks[0].segments[0].url, url("http://127.0.0.1/s/h0.ts"));
    EXPECT_EQ(plan.tracks[1].kind, TrackPlan::Kind::Audio);
    EXPECT_EQ(plan.tracks[1].segments[2].url, url("http://127.0.0.1/s/a2.ts"));
    EXPECT_DOUBLE_EQ(plan.duration, 12);
    EXPECT_DOUBLE_EQ(plan.targetDuration, 4);
    EXPECT_FALSE(plan.live);
    EXPECT_FALSE(plan.isProtected);
    EXPECT_EQ(served.fetches, 3);

    StreamPlanBuilder smallest(StreamFormat::Hls, url("http://127.0.0.1/s/master.m3u8"), StreamVariantChoice::Smallest);
    served.run(smallest);
    EXPECT_EQ(smallest.plan().variant.url, url("http://127.0.0.1/s/low.m3u8"));

    // The player fetched the low variant (hls.js starts there) and then the high one.
    StreamPlanBuilder played(StreamFormat::Hls, url("http://127.0.0.1/s/master.m3u8"), StreamVariantChoice::AsPlayed,
                             {url("http://127.0.0.1/s/master.m3u8"), url("http://127.0.0.1/s/high.m3u8"),
                              url("http://127.0.0.1/s/low.m3u8")});
    served.run(played);
    EXPECT_EQ(played.plan().variant.url, url("http://127.0.0.1/s/low.m3u8"));
}

TEST(StreamPlanBuilderTest, HlsFailuresEndThePlan)
{
    Served served;
    // A master that names itself.
    served.files.insert(url("http://127.0.0.1/s/self.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nself.m3u8\n");
    StreamPlanBuilder self(StreamFormat::Hls, url("http://127.0.0.1/s/self.m3u8"), StreamVariantChoice::Best);
    served.run(self);
    ASSERT_TRUE(self.error());
    EXPECT_EQ(self.error()->code, StreamError::Code::Loop);
    EXPECT_TRUE(self.pending().isEmpty());

    // Two masters naming each other.
    served.files.insert(url("http://127.0.0.1/s/a.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nb.m3u8\n");
    served.files.insert(url("http://127.0.0.1/s/b.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n");
    StreamPlanBuilder pair(StreamFormat::Hls, url("http://127.0.0.1/s/a.m3u8"), StreamVariantChoice::Best);
    served.run(pair);
    ASSERT_TRUE(pair.error());
    EXPECT_EQ(pair.error()->code, StreamError::Code::Loop);

    // A chain of masters longer than the bound.
    for (int i = 0; i < 20; ++i)
        served.files.insert(QUrl(QStringLiteral("http://127.0.0.1/c/%1.m3u8").arg(i)),
                            "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n" + QByteArray::number(i + 1) + ".m3u8\n");
    StreamPlanBuilder chain(StreamFormat::Hls, url("http://127.0.0.1/c/0.m3u8"), StreamVariantChoice::Best);
    served.run(chain);
    ASSERT_TRUE(chain.error());
    EXPECT_EQ(chain.error()->code, StreamError::Code::TooManyPlaylists);

    // A missing variant playlist, and a broken one.
    served.files.insert(url("http://127.0.0.1/s/m.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nmissing.m3u8\n");
    StreamPlanBuilder missing(StreamFormat::Hls, url("http://127.0.0.1/s/m.m3u8"), StreamVariantChoice::Best);
    served.run(missing);
    ASSERT_TRUE(missing.error());
    EXPECT_TRUE(missing.error()->text.contains(QStringLiteral("missing.m3u8: 404")));
    EXPECT_EQ(missing.error()->code, StreamError::Code::FetchFailed);
    served.files.insert(url("http://127.0.0.1/s/low.m3u8"), "<html>");
    served.files.insert(url("http://127.0.0.1/s/master.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nlow.m3u8\n");
    StreamPlanBuilder broken(StreamFormat::Hls, url("http://127.0.0.1/s/master.m3u8"), StreamVariantChoice::Best);
    served.run(broken);
    ASSERT_TRUE(broken.error());
    EXPECT_EQ(broken.error()->code, StreamError::Code::Malformed);
}

TEST(StreamPlanBuilderTest, ProtectedAndLiveStreams)
{
    Served served;
    served.files.insert(url("http://127.0.0.1/p/m.m3u8"), "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n");
    served.files.insert(url("http://127.0.0.1/p/v.m3u8"),
                        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\"\n"
                        "#EXTINF:4,\ns.ts\n");
    StreamPlanBuilder builder(StreamFormat::Hls, url("http://127.0.0.1/p/m.m3u8"), StreamVariantChoice::Best);
    served.run(builder);
    ASSERT_TRUE(builder.finished());
    EXPECT_FALSE(builder.error());
    EXPECT_TRUE(builder.plan().isProtected);
    EXPECT_TRUE(builder.plan().tracks.isEmpty()) << "nothing of a protected stream is downloaded";

    served.files.insert(url("http://127.0.0.1/l/live.m3u8"), media("x", 2, false));
    StreamPlanBuilder live(StreamFormat::Hls, url("http://127.0.0.1/l/live.m3u8"), StreamVariantChoice::Best);
    served.run(live);
    ASSERT_TRUE(live.finished());
    EXPECT_TRUE(live.plan().live);
    EXPECT_EQ(live.plan().variant.url, url("http://127.0.0.1/l/live.m3u8"));
    ASSERT_EQ(live.plan().tracks.size(), 1);

    served.files.insert(url("http://127.0.0.1/d/p.mpd"),
                        R"(<MPD type="static"><Period duration="PT4S"><AdaptationSet mimeType="video/mp4">
<ContentProtection schemeIdUri="urn:mpeg:dash:mp4protection:2011" value="cenc"/>
<Representation id="v" bandwidth="1"><BaseURL>v.mp4</BaseURL></Representation></AdaptationSet></Period></MPD>)");
    StreamPlanBuilder dash(StreamFormat::Dash, url("http://127.0.0.1/d/p.mpd"), StreamVariantChoice::Best);
    served.run(dash);
    ASSERT_TRUE(dash.finished());
    EXPECT_TRUE(dash.plan().isProtected);
    EXPECT_TRUE(dash.plan().tracks.isEmpty());
}

TEST(StreamPlanBuilderTest, DashChoosesPerPeriodAndJoinsThePeriods)
{
    Served served;
    served.files.insert(url("http://127.0.0.1/d/m.mpd"), R"(<MPD mediaPresentationDuration="PT8S">
<Period id="1" duration="PT4S">
  <AdaptationSet mimeType="video/mp4"><SegmentTemplate media="$RepresentationID$/p1-$Number$.m4s" initialization="$RepresentationID$/i1.mp4" duration="2"/>
    <Representation id="sd" bandwidth="100" width="640" height="360"/>
    <Representation id="hd" bandwidth="900" width="1280" height="720"/>
  </AdaptationSet>
  <AdaptationSet mimeType="audio/mp4"><SegmentTemplate media="$RepresentationID$/p1-$Number$.m4s" duration="4"/>
    <Representation id="a64" bandwidth="64000"/><Representation id="a128" bandwidth="128000"/>
  </AdaptationSet>
</Period>
<Period id="2">
  <AdaptationSet mimeType="video/mp4"><SegmentTemplate media="$RepresentationID$/p2-$Number$.m4s" initialization="$RepresentationID$/i2.mp4" duration="2"/>
    <Representation id="sd" bandwidth="100" width="640" height="360"/>
    <Representation id="hd" bandwidth="900" width="1280" height="720"/>
  </AdaptationSet>
  <AdaptationSet mimeType="audio/mp4"><SegmentTemplate media="$RepresentationID$/p2-$Number$.m4s" duration="4"/>
    <Representation id="a128" bandwidth="128000"/>
  </AdaptationSet>
</Period></MPD>)");
    StreamPlanBuilder builder(StreamFormat::Dash, url("http://127.0.0.1/d/m.mpd"), StreamVariantChoice::AsPlayed,
                              {url("http://127.0.0.1/d/hd/p1-1.m4s"), url("http://127.0.0.1/d/sd/p1-2.m4s")});
    served.run(builder);
    ASSERT_TRUE(builder.finished());
    ASSERT_FALSE(builder.error()) << builder.error()->text.toStdString();
    const StreamPlan& plan = builder.plan();
    EXPECT_EQ(plan.variant.id, QStringLiteral("sd")) << "the one fetched last";
    ASSERT_EQ(plan.tracks.size(), 2);
    const TrackPlan& video = plan.tracks[0];
    ASSERT_EQ(video.segments.size(), 4);
    ASSERT_EQ(video.initSections.size(), 2);
    EXPECT_EQ(video.segments[0].url, url("http://127.0.0.1/d/sd/p1-1.m4s"));
    EXPECT_EQ(video.segments[2].url, url("http://127.0.0.1/d/hd/p2-1.m4s")) << "period 2 played nothing: best";
    EXPECT_EQ(video.segments[2].initSection, 1);
    EXPECT_EQ(video.initSections[1].url, url("http://127.0.0.1/d/hd/i2.mp4"));
    EXPECT_FALSE(video.segments[1].discontinuity);
    EXPECT_TRUE(video.segments[2].discontinuity);
    EXPECT_DOUBLE_EQ(video.duration, 8);
    const TrackPlan& audio = plan.tracks[1];
    EXPECT_EQ(audio.kind, TrackPlan::Kind::Audio);
    EXPECT_EQ(audio.segments[0].url, url("http://127.0.0.1/d/a128/p1-1.m4s"));
    EXPECT_EQ(audio.segments.size(), 2);
    EXPECT_EQ(served.fetches, 1);
}

} // namespace
