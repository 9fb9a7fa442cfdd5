#include "streams/StreamPlanBuilder.h"

#include "streams/HlsPlaylist.h"
#include "streams/SegmentIndex.h"
#include "streams/StreamLimits.h"
#include "streams/VariantChoice.h"

#include <algorithm>

namespace {

QUrl withoutFragment(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFragment);
}

} // namespace

StreamPlanBuilder::StreamPlanBuilder(
    StreamFormat format, const QUrl& manifestUrl, StreamVariantChoice choice, QList<QUrl> playedUrls, QDateTime now)
    : m_format(format)
    , m_choice(choice)
    , m_playedUrls(std::move(playedUrls))
    , m_now(std::move(now))
    , m_planner(manifestUrl, StreamLimits::MaxPlaylists)
{
    m_plan.format = format;
    m_plan.manifestUrl = manifestUrl;
    m_pending.append(Slot{StreamFetch{withoutFragment(manifestUrl), std::nullopt}, TrackPlan::Kind::Video, -1});
}

QList<StreamFetch> StreamPlanBuilder::pending() const
{
    QList<StreamFetch> fetches;
    if (finished())
        return fetches;
    for (const Slot& slot : m_pending)
        fetches.append(slot.fetch);
    return fetches;
}

void StreamPlanBuilder::supply(const StreamFetch& fetch, QByteArrayView bytes)
{
    if (finished())
        return;
    const auto found =
        std::find_if(m_pending.cbegin(), m_pending.cend(), [&](const Slot& slot) { return slot.fetch == fetch; });
    if (found == m_pending.cend())
        return;
    const Slot slot = *found;
    m_pending.erase(found);
    if (slot.piece >= 0)
        supplyIndex(slot, bytes);
    else if (m_format == StreamFormat::Hls)
        supplyHls(slot, bytes);
    else
        supplyDash(slot, bytes);
    finishIfComplete();
}

void StreamPlanBuilder::fail(const StreamFetch& fetch, const QString& reason)
{
    if (finished())
        return;
    for (const Slot& slot : m_pending) {
        if (slot.fetch == fetch) {
            setError(streamError(StreamError::Code::FetchFailed,
                                 QStringLiteral("%1: %2").arg(fetch.url.toDisplayString().left(200), reason)));
            return;
        }
    }
}

void StreamPlanBuilder::setError(StreamError error)
{
    if (!m_error)
        m_error = std::move(error);
    m_pending.clear();
}

int StreamPlanBuilder::lastPlayed(const QList<QUrl>& urls) const
{
    int latest = -1;
    for (qsizetype i = m_playedUrls.size() - 1; i > latest; --i) {
        const QUrl played = withoutFragment(m_playedUrls[i]);
        for (const QUrl& url : urls) {
            if (url == played) {
                latest = int(i);
                break;
            }
        }
    }
    return latest;
}

void StreamPlanBuilder::supplyHls(const Slot& slot, QByteArrayView bytes)
{
    StreamResult<HlsPlaylist> parsed = HlsPlaylist::parse(bytes, slot.fetch.url);
    if (!parsed.ok())
        return setError(parsed.error());
    const HlsPlaylist& playlist = parsed.value();
    if (playlist.isProtected) {
        m_plan.isProtected = true;
        m_plan.tracks.clear();
        m_pending.clear();
        return;
    }
    if (playlist.kind == HlsPlaylist::Kind::Master) {
        if (slot.kind == TrackPlan::Kind::Audio)
            return setError(streamError(StreamError::Code::Malformed,
                                        QStringLiteral("an audio rendition's playlist is a master playlist")));
        QList<int> played;
        for (const StreamVariant& variant : playlist.variants)
            played.append(lastPlayed({variant.url}));
        const int chosen = VariantChoice::chooseVariant(playlist.variants, m_choice, played);
        if (chosen < 0)
            return setError(
                streamError(StreamError::Code::NoVariant, QStringLiteral("the master playlist has no variant")));
        m_plan.variant = playlist.variants[chosen];
        QList<QUrl> needs{withoutFragment(m_plan.variant.url)};
        m_plan.audio.reset();
        if (!m_plan.variant.audioGroup.isEmpty()) {
            const int audio = VariantChoice::chooseAudio(playlist.audio, m_plan.variant.audioGroup);
            if (audio >= 0) {
                m_plan.audio = playlist.audio[audio];
                // A rendition without a URI, or with the variant's own, is the sound of the variant.
                const QUrl audioUrl = withoutFragment(m_plan.audio->url);
                if (!audioUrl.isEmpty() && audioUrl != needs.constFirst())
                    needs.append(audioUrl);
                else
                    m_plan.audio.reset();
            }
        }
        if (std::optional<StreamError> error = m_planner.fetched(slot.fetch.url, needs))
            return setError(*error);
        m_pending.append(Slot{StreamFetch{needs[0], std::nullopt}, TrackPlan::Kind::Video, -1});
        if (needs.size() > 1)
            m_pending.append(Slot{StreamFetch{needs[1], std::nullopt}, TrackPlan::Kind::Audio, -1});
        return;
    }
    if (std::optional<StreamError> error = m_planner.fetched(slot.fetch.url, {}))
        return setError(*error);
    TrackPlan track;
    track.kind = slot.kind;
    track.playlistUrl = slot.fetch.url;
    if (slot.kind == TrackPlan::Kind::Audio && m_plan.audio) {
        track.codecs = m_plan.audio->codecs;
    } else {
        track.codecs = m_plan.variant.codecs;
        if (m_plan.variant.url.isEmpty())
            m_plan.variant.url = slot.fetch.url; // the manifest was a media playlist
    }
    track.initSections = playlist.initSections;
    track.segments = playlist.segments;
    track.duration = playlist.duration();
    m_plan.targetDuration = std::max(m_plan.targetDuration, playlist.targetDuration);
    m_plan.live = m_plan.live || playlist.live();
    m_plan.tracks.append(track);
}

void StreamPlanBuilder::supplyDash(const Slot& slot, QByteArrayView bytes)
{
    StreamResult<DashManifest> parsed = DashManifest::parse(bytes, slot.fetch.url, m_now);
    if (!parsed.ok())
        return setError(parsed.error());
    if (std::optional<StreamError> error = m_planner.fetched(slot.fetch.url, {}))
        return setError(*error);
    const DashManifest& manifest = parsed.value();
    if (manifest.isProtected) {
        m_plan.isProtected = true;
        return;
    }
    m_plan.live = manifest.live;
    m_plan.minimumUpdatePeriod = manifest.minimumUpdatePeriod;
    m_plan.timeShiftBufferDepth = manifest.timeShiftBufferDepth;
    m_plan.availabilityStartTime = manifest.availabilityStartTime;
    m_plan.targetDuration = manifest.maxSegmentDuration;

    auto urlsOf = [](const DashRepresentation& representation) {
        QList<QUrl> urls;
        if (representation.init)
            urls.append(representation.init->url);
        if (!representation.indexUrl.isEmpty())
            urls.append(representation.indexUrl);
        for (const SegmentRequest& segment : representation.segments)
            urls.append(segment.url);
        return urls;
    };
    bool anyVideo = false;
    for (const DashPeriod& period : manifest.periods)
        anyVideo = anyVideo || !period.video.isEmpty();
    for (const DashPeriod& period : manifest.periods) {
        if (!period.video.isEmpty()) {
            QList<StreamVariant> variants;
            QList<int> played;
            for (const DashRepresentation& representation : period.video) {
                variants.append(representation.variant);
                played.append(m_choice == StreamVariantChoice::AsPlayed ? lastPlayed(urlsOf(representation)) : -1);
            }
            const int chosen = VariantChoice::chooseVariant(variants, m_choice, played);
            if (m_pieces.isEmpty())
                m_plan.variant = variants[chosen];
            m_pieces.append(Piece{TrackPlan::Kind::Video, period.video[chosen]});
        }
        if (!period.audio.isEmpty()) {
            QList<AudioRendition> renditions;
            for (const DashRepresentation& representation : period.audio) {
                AudioRendition rendition;
                rendition.id = representation.variant.id;
                rendition.language = representation.language;
                rendition.bandwidth = representation.variant.bandwidth;
                rendition.codecs = representation.variant.codecs;
                rendition.mimeType = representation.variant.mimeType;
                renditions.append(rendition);
            }
            const int chosen = VariantChoice::chooseAudio(renditions, QString());
            if (!m_plan.audio && anyVideo)
                m_plan.audio = renditions[chosen];
            // An audio-only programme: its one track stands where the video would.
            m_pieces.append(Piece{anyVideo ? TrackPlan::Kind::Audio : TrackPlan::Kind::Video, period.audio[chosen]});
        }
    }
    if (m_pieces.isEmpty())
        return setError(streamError(StreamError::Code::NoVariant, QStringLiteral("the MPD has no video or audio")));
    for (qsizetype i = 0; i < m_pieces.size(); ++i) {
        const DashRepresentation& representation = m_pieces[i].representation;
        if (representation.needsIndex())
            m_pending.append(
                Slot{StreamFetch{representation.indexUrl, representation.indexRange}, m_pieces[i].kind, int(i)});
    }
}

void StreamPlanBuilder::supplyIndex(const Slot& slot, QByteArrayView bytes)
{
    StreamResult<SegmentIndex> index = SegmentIndex::parse(bytes);
    if (!index.ok())
        return setError(index.error());
    StreamResult<QList<SegmentRequest>> segments =
        index.value().segments(slot.fetch.url, slot.fetch.range ? slot.fetch.range->offset : 0);
    if (!segments.ok())
        return setError(segments.error());
    DashRepresentation& representation = m_pieces[slot.piece].representation;
    representation.segments = segments.value();
    for (SegmentRequest& segment : representation.segments)
        segment.initSection = representation.init ? 0 : -1;
}

void StreamPlanBuilder::assembleDash()
{
    for (const TrackPlan::Kind kind : {TrackPlan::Kind::Video, TrackPlan::Kind::Audio}) {
        TrackPlan track;
        track.kind = kind;
        track.playlistUrl = m_plan.manifestUrl;
        bool first = true;
        for (const Piece& piece : std::as_const(m_pieces)) {
            if (piece.kind != kind)
                continue;
            const DashRepresentation& representation = piece.representation;
            if (first) {
                track.codecs = representation.variant.codecs;
                track.mimeType = representation.variant.mimeType;
            }
            const int initIndex = int(track.initSections.size());
            if (representation.init)
                track.initSections.append(*representation.init);
            for (qsizetype i = 0; i < representation.segments.size(); ++i) {
                SegmentRequest segment = representation.segments[i];
                segment.initSection = representation.init ? initIndex : -1;
                segment.discontinuity = !first && i == 0;
                track.duration += segment.duration;
                m_plan.targetDuration = std::max(m_plan.targetDuration, segment.duration);
                track.segments.append(segment);
            }
            first = false;
        }
        if (!first)
            m_plan.tracks.append(track);
    }
}

void StreamPlanBuilder::finishIfComplete()
{
    if (m_error || !m_pending.isEmpty())
        return;
    if (m_format == StreamFormat::Dash && !m_plan.isProtected)
        assembleDash();
    std::stable_sort(m_plan.tracks.begin(), m_plan.tracks.end(),
                     [](const TrackPlan& a, const TrackPlan& b) { return a.kind < b.kind; });
    for (const TrackPlan& track : std::as_const(m_plan.tracks))
        m_plan.duration = std::max(m_plan.duration, track.duration);
    m_ready = true;
}
