#include "tools/CutSpan.h"

#include <QRegularExpression>

namespace CutSpan {

qint64 msAtPosition(int position, qint64 lengthMs)
{
    const qint64 p = qBound(0, position, Scale);
    const qint64 length = qBound<qint64>(0, lengthMs, MaxMs);
    // Rounded to the nearest tenth of a second, as "%.1f" of the seconds would show it.
    return (p * length + Scale * 50) / (Scale * 100) * 100;
}

QString tenthsText(qint64 ms)
{
    const qint64 tenths = (qMax<qint64>(0, ms) + 50) / 100;
    return QString::number(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
}

QString displayTime(const QString& tenths)
{
    if (tenths.size() < 3)
        return QStringLiteral("00:00:00.0");
    const qint64 seconds = qMax<qint64>(0, tenths.left(tenths.size() - 2).toLongLong());
    return QStringLiteral("%1:%2:%3.")
               .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
               .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
               .arg(seconds % 60, 2, 10, QLatin1Char('0')) +
           tenths.right(1);
}

QString displayTimeMs(qint64 ms)
{
    return displayTime(tenthsText(ms));
}

QString secondsText(qint64 ms)
{
    ms = qMax<qint64>(0, ms);
    QString fraction = QStringLiteral("%1").arg(ms % 1000, 3, 10, QLatin1Char('0'));
    while (fraction.size() > 1 && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return QString::number(ms / 1000) + QLatin1Char('.') + fraction;
}

std::optional<qint64> parseSeconds(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^(\\d{1,7})(?:[.,](\\d{1,9}))?$"));
    const QRegularExpressionMatch match = number.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 whole = match.captured(1).toLongLong();
    // Milliseconds from the first three decimals, rounded by the fourth.
    const QString decimals = (match.captured(2) + QStringLiteral("0000")).left(4);
    const qint64 ms = whole * 1000 + decimals.left(3).toLongLong() + (decimals.at(3) >= u'5' ? 1 : 0);
    if (ms > MaxMs)
        return std::nullopt;
    return ms;
}

qint64 mediaLengthMs(qint64 playerLengthMs, const QString& durationColumn)
{
    if (playerLengthMs > 0)
        return qMin(playerLengthMs, MaxMs);
    static const QRegularExpression hms(QStringLiteral("^(\\d{1,3}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch match = hms.match(durationColumn.trimmed());
    if (!match.hasMatch())
        return 0;
    const qint64 seconds =
        match.captured(1).toLongLong() * 3600 + match.captured(2).toLongLong() * 60 + match.captured(3).toLongLong();
    return qMin(seconds * 1000, MaxMs);
}

} // namespace CutSpan
