#pragma once

#include "streams/StreamError.h"

#include <QString>

// A DASH SegmentTemplate address: $RepresentationID$, $Number$, $Bandwidth$ and $Time$
// replaced, the last three with an optional "%0<width>d" format ($Number%05d$), and "$$" for a
// dollar sign. Any other identifier, an unclosed "$" or a width past 32 is an error.
namespace SegmentTemplate {

struct Values
{
    QString representationId;
    qint64 number = 0;
    qint64 bandwidth = 0;
    qint64 time = 0;
};

StreamResult<QString> expand(const QString& pattern, const Values& values);

} // namespace SegmentTemplate
