#pragma once

#include "streams/StreamError.h"
#include "streams/StreamPlan.h"

#include <QByteArrayView>

// A DASH MPD: its periods and, per period, the video and audio representations with their
// segment lists expanded (SegmentTemplate with or without SegmentTimeline, SegmentList) or the
// index to read first (SegmentBase). Addresses resolved through BaseURL at every level.
// Bounded by StreamLimits; ContentProtection anywhere marks the manifest protected.
struct DashRepresentation
{
    StreamVariant variant; // id, bandwidth, size, frame rate, codecs, mime type
    QString contentType;
    QString language;
    std::optional<InitSection> init;
    QList<SegmentRequest> segments;
    // SegmentBase: the segments come from the sidx box in bytes `indexRange` of `indexUrl`,
    // read with SegmentIndex::parse and turned into requests with SegmentIndex::segments.
    QUrl indexUrl;
    std::optional<ByteRange> indexRange;

    bool needsIndex() const { return indexRange.has_value(); }
};

struct DashPeriod
{
    QString id;
    double start = 0;
    double duration = 0; // zero when unknown (a live period still open)
    QList<DashRepresentation> video;
    QList<DashRepresentation> audio;
};

struct DashManifest
{
    bool live = false; // type="dynamic"
    bool isProtected = false;
    double duration = 0; // mediaPresentationDuration
    double minimumUpdatePeriod = 0;
    double timeShiftBufferDepth = 0;
    double maxSegmentDuration = 0;
    QDateTime availabilityStartTime;
    QList<DashPeriod> periods;

    // `now` places the live edge of a dynamic manifest whose templates count segments by
    // duration; a static manifest ignores it.
    static StreamResult<DashManifest> parse(QByteArrayView text, const QUrl& address, const QDateTime& now = {});
};
