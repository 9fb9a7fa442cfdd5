#pragma once

#include "streams/StreamError.h"
#include "streams/StreamPlan.h"

#include <QByteArrayView>

#include <cstdint>

// An ISO BMFF segment index ("sidx" box, ISO/IEC 14496-12 8.16.3): where each subsegment of a
// single-file representation starts and how long it plays.
struct SegmentIndex
{
    struct Reference
    {
        bool referencesIndex = false; // reference_type 1: another sidx, not media
        quint32 size = 0;             // referenced_size, bytes
        quint32 duration = 0;         // subsegment_duration, in timescale units
        bool startsWithSap = false;
    };

    int version = 0;
    quint32 timescale = 0;
    quint64 earliestPresentationTime = 0;
    quint64 firstOffset = 0;
    qint64 boxOffset = 0; // where the box starts within the bytes given to parse
    qint64 boxSize = 0;
    QList<Reference> references;

    // Finds the first sidx box in `bytes` (boxes before it are skipped) and reads it whole.
    static StreamResult<SegmentIndex> parse(QByteArrayView bytes);

    // The media byte ranges of `url`, given where the bytes handed to parse start in the file.
    // References to further index boxes are refused.
    StreamResult<QList<SegmentRequest>> segments(const QUrl& url, qint64 bytesStartInFile) const;
};
