#include "streams/SegmentTemplate.h"

#include "streams/StreamLimits.h"

namespace SegmentTemplate {

namespace {

StreamError malformed(const QString& what)
{
    return streamError(StreamError::Code::Malformed, QStringLiteral("segment template: %1").arg(what));
}

} // namespace

StreamResult<QString> expand(const QString& pattern, const Values& values)
{
    QString out;
    qsizetype at = 0;
    while (at < pattern.size()) {
        const qsizetype open = pattern.indexOf(QLatin1Char('$'), at);
        if (open < 0) {
            out += QStringView(pattern).sliced(at);
            break;
        }
        out += QStringView(pattern).sliced(at, open - at);
        const qsizetype close = pattern.indexOf(QLatin1Char('$'), open + 1);
        if (close < 0)
            return malformed(QStringLiteral("a \"$\" is not closed"));
        const QStringView identifier = QStringView(pattern).sliced(open + 1, close - open - 1);
        at = close + 1;
        if (identifier.isEmpty()) {
            out += QLatin1Char('$');
            continue;
        }
        if (identifier == QLatin1String("RepresentationID")) {
            out += values.representationId;
            continue;
        }
        const qsizetype percent = identifier.indexOf(QLatin1Char('%'));
        const QStringView name = percent < 0 ? identifier : identifier.first(percent);
        qint64 value = 0;
        if (name == QLatin1String("Number"))
            value = values.number;
        else if (name == QLatin1String("Bandwidth"))
            value = values.bandwidth;
        else if (name == QLatin1String("Time"))
            value = values.time;
        else
            return malformed(QStringLiteral("unknown identifier $%1$").arg(identifier.left(40)));
        int width = 1;
        if (percent >= 0) {
            // "%0<width>d" exactly.
            const QStringView format = identifier.sliced(percent);
            if (format.size() < 4 || format[1] != QLatin1Char('0') || format.back() != QLatin1Char('d'))
                return malformed(QStringLiteral("the format of $%1$ is not %0<width>d").arg(identifier.left(40)));
            bool ok = false;
            const QStringView digits = format.sliced(2, format.size() - 3);
            width = digits.size() <= 2 ? digits.toInt(&ok) : 0;
            if (!ok || width < 1 || width > 32 || !digits.front().isDigit())
                return malformed(QStringLiteral("the width of $%1$ is not 1 to 32").arg(identifier.left(40)));
        }
        out += QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
        if (out.size() > StreamLimits::MaxUriLength)
            return streamError(StreamError::Code::TooLong, QStringLiteral("segment template: the address is too long"));
    }
    if (out.size() > StreamLimits::MaxUriLength)
        return streamError(StreamError::Code::TooLong, QStringLiteral("segment template: the address is too long"));
    return out;
}

} // namespace SegmentTemplate
