#pragma once

#include "streams/StreamPlan.h"

#include <QList>

#include <optional>

// Which segments of a live track's reloaded playlist are new. The first reload starts at the
// live edge, a few segments back from the end as players do; each later one continues after
// the last segment recorded, told by its media sequence number (HLS) or by its address and its
// start on the time line (DASH). When the last one recorded has left the playlist (an outage
// longer than the playlist's window, a stream that started again), the recording resumes at
// the edge and the update says so, with an estimate of the programme missed.
class LiveWindow final
{
public:
    static constexpr int kEdgeSegments = 3;

    struct Update
    {
        QList<SegmentRequest> fresh; // in playlist order
        bool gap = false;            // segments went by unrecorded before `fresh`
        double missed = 0;           // seconds of them, when the playlist tells (else 0)
    };

    explicit LiveWindow(StreamFormat format, int edgeSegments = kEdgeSegments);

    // What to record of a reloaded playlist's segments. Does not move the window: recorded()
    // does, once a segment is on disk, so one that failed is offered again.
    Update update(const QList<SegmentRequest>& segments) const;
    void recorded(const SegmentRequest& segment) { m_last = segment; }
    const std::optional<SegmentRequest>& last() const { return m_last; }

private:
    bool same(const SegmentRequest& a, const SegmentRequest& b) const;
    bool after(const SegmentRequest& a, const SegmentRequest& b) const;
    QList<SegmentRequest> edge(const QList<SegmentRequest>& segments) const;

    StreamFormat m_format;
    int m_edgeSegments;
    std::optional<SegmentRequest> m_last;
};
