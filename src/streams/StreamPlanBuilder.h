#pragma once

#include "base/Settings.h"
#include "streams/DashManifest.h"
#include "streams/FetchPlanner.h"
#include "streams/StreamError.h"
#include "streams/StreamPlan.h"

#include <QByteArrayView>

// Turns a manifest address into a plan, one fetched resource at a time, without fetching
// anything itself. The download layer asks pending() for what to fetch (a playlist, or the
// byte range of a DASH index), fetches it with the candidate's headers and cookies, and hands
// the bytes to supply(), until the plan is ready or has failed:
//
//     StreamPlanBuilder builder(StreamFormat::Hls, url, choice, playedUrls);
//     while (!builder.finished())
//         for (const StreamFetch& fetch : builder.pending())
//             builder.supply(fetch, get(fetch));
//     if (builder.error()) ... else if (builder.plan().isProtected) ... else download(builder.plan());
struct StreamFetch
{
    QUrl url;
    std::optional<ByteRange> range; // a DASH index; none for a playlist

    bool operator==(const StreamFetch&) const = default;
};

class StreamPlanBuilder final
{
public:
    // `playedUrls`: the requests the page's player made for this stream, oldest first (the
    // "as played" choice).
    StreamPlanBuilder(StreamFormat format,
                      const QUrl& manifestUrl,
                      StreamVariantChoice choice,
                      QList<QUrl> playedUrls = {},
                      QDateTime now = {});

    QList<StreamFetch> pending() const;
    // The bytes of one pending fetch (a fetch not pending is ignored).
    void supply(const StreamFetch& fetch, QByteArrayView bytes);
    // A pending fetch that could not be made: the plan fails with `reason`.
    void fail(const StreamFetch& fetch, const QString& reason);

    bool finished() const { return m_error.has_value() || m_ready; }
    const std::optional<StreamError>& error() const { return m_error; }
    const StreamPlan& plan() const { return m_plan; }

private:
    struct Slot
    {
        StreamFetch fetch;
        TrackPlan::Kind kind = TrackPlan::Kind::Video;
        int piece = -1; // DASH: the piece whose index this is
    };
    // DASH: the representation chosen for one track in one period.
    struct Piece
    {
        TrackPlan::Kind kind = TrackPlan::Kind::Video;
        DashRepresentation representation;
    };

    void supplyHls(const Slot& slot, QByteArrayView bytes);
    void supplyDash(const Slot& slot, QByteArrayView bytes);
    void supplyIndex(const Slot& slot, QByteArrayView bytes);
    void assembleDash();
    void finishIfComplete();
    void setError(StreamError error);
    int lastPlayed(const QList<QUrl>& urls) const;

    StreamFormat m_format;
    StreamVariantChoice m_choice;
    QList<QUrl> m_playedUrls;
    QDateTime m_now;
    FetchPlanner m_planner;
    QList<Slot> m_pending;
    QList<Piece> m_pieces;
    StreamPlan m_plan;
    std::optional<StreamError> m_error;
    bool m_ready = false;
};
