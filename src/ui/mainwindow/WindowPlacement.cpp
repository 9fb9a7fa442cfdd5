#include "ui/mainwindow/WindowPlacement.h"

#include <QRegularExpression>

#include <algorithm>

namespace WindowPlacement {

QString format(const QRect& geometry)
{
    return QStringLiteral("%1x%2:%3;%4")
        .arg(geometry.width())
        .arg(geometry.height())
        .arg(geometry.x())
        .arg(geometry.y());
}

std::optional<QRect> parse(const QString& stored)
{
    static const QRegularExpression pattern(QStringLiteral("^(-?\\d{1,9})x(-?\\d{1,9}):(-?\\d{1,9});(-?\\d{1,9})$"));
    const QRegularExpressionMatch match = pattern.match(stored.trimmed());
    if (!match.hasMatch())
        return std::nullopt; // "NotSet", empty or damaged
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    const int left = match.captured(3).toInt();
    const int top = match.captured(4).toInt();
    if (left < 0 || top < 0 || width > MaxWidth || height > MaxHeight || left > MaxWidth || top > MaxHeight)
        return std::nullopt;
    // A size of zero or less cannot be shown; the default size is the sound reading.
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return QRect(left, top, width, height);
}

QRect fitted(const QRect& stored, const QRect& available)
{
    if (available.isEmpty())
        return stored;
    const QSize size = stored.size().boundedTo(available.size());
    const int left = std::clamp(stored.left(), available.left(), available.left() + available.width() - size.width());
    const int top = std::clamp(stored.top(), available.top(), available.top() + available.height() - size.height());
    return QRect(QPoint(left, top), size);
}

} // namespace WindowPlacement
