#include "streams/LiveWindow.h"

#include <algorithm>

LiveWindow::LiveWindow(StreamFormat format, int edgeSegments)
    : m_format(format)
    , m_edgeSegments(std::max(1, edgeSegments))
{}

bool LiveWindow::same(const SegmentRequest& a, const SegmentRequest& b) const
{
    if (m_format == StreamFormat::Hls)
        return a.sequence == b.sequence;
    return a.url == b.url && a.range == b.range;
}

bool LiveWindow::after(const SegmentRequest& a, const SegmentRequest& b) const
{
    if (m_format == StreamFormat::Hls)
        return a.sequence > b.sequence;
    // Start times are sums of whole ticks over the timescale: a small tolerance is enough.
    return a.start >= 0 && b.start >= 0 && a.start > b.start + 1e-6;
}

QList<SegmentRequest> LiveWindow::edge(const QList<SegmentRequest>& segments) const
{
    return segments.mid(std::max<qsizetype>(0, segments.size() - m_edgeSegments));
}

LiveWindow::Update LiveWindow::update(const QList<SegmentRequest>& segments) const
{
    Update update;
    if (!m_last) {
        update.fresh = edge(segments);
        return update;
    }
    const SegmentRequest& last = *m_last;
    for (qsizetype i = segments.size() - 1; i >= 0; --i) {
        if (same(segments[i], last)) {
            update.fresh = segments.mid(i + 1);
            return update;
        }
    }
    if (segments.isEmpty())
        return update;
    // The last one recorded has left the playlist: the ones after it, if the playlist holds the
    // very next one; else the edge of them.
    qsizetype first = 0;
    while (first < segments.size() && !after(segments[first], last))
        ++first;
    const QList<SegmentRequest> newer = segments.mid(first);
    if (newer.isEmpty()) {
        // Nothing after it: the stream started again (its numbers or times began anew).
        update.fresh = edge(segments);
        update.gap = true;
        return update;
    }
    const SegmentRequest& next = newer.constFirst();
    double missed = 0;
    if (m_format == StreamFormat::Hls)
        missed = double(next.sequence - last.sequence - 1) * last.duration;
    else
        missed = next.start - (last.start + last.duration);
    // A quarter of a segment is timing noise, not a segment gone by.
    if (missed <= last.duration / 4) {
        update.fresh = newer;
        return update;
    }
    update.fresh = edge(newer);
    update.gap = true;
    update.missed = missed;
    for (qsizetype i = 0; i < newer.size() - update.fresh.size(); ++i)
        update.missed += newer[i].duration; // in the playlist still, but behind the edge
    return update;
}
