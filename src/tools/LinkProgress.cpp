#include "tools/LinkProgress.h"

#include "base/Texts.h"

#include <QRegularExpression>

#include <cmath>

namespace {

const QLatin1String kProgressMark("[trawlix-progress] ");

// A field of the progress template: a plain non-negative number, or -1 ("NA", "None",
// anything else).
double fieldValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 32)
        return -1;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > 1e18)
        return -1;
    return value;
}

// "[download] Downloading item 3 of 12" (older versions say "video").
const QRegularExpression& itemPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\[download\\] Downloading (?:item|video) ([0-9]{1,9}) of ([0-9]{1,9})$"));
    return pattern;
}

QString withoutToolName(QString text)
{
    text.replace(QLatin1String("youtube-dl"), QLatin1String("Trawlix"));
    text.replace(QLatin1String("yt-dlp"), QLatin1String("Trawlix"));
    return text;
}

} // namespace

bool LinkProgress::feed(const QByteArray& chunk)
{
    m_changed = false;
    for (const char byte : chunk) {
        if (byte == '\n' || byte == '\r') {
            if (!m_pending.isEmpty())
                takeLine(m_pending);
            m_pending.clear();
            m_overlong = false;
            continue;
        }
        if (m_overlong)
            continue;
        if (m_pending.size() >= MaxLineBytes) {
            // The start is kept; the rest of an overlong line is dropped up to its end.
            m_overlong = true;
            continue;
        }
        m_pending += byte;
    }
    return m_changed;
}

bool LinkProgress::finish()
{
    m_changed = false;
    if (!m_pending.isEmpty())
        takeLine(m_pending);
    m_pending.clear();
    m_overlong = false;
    return m_changed;
}

void LinkProgress::takeLine(const QByteArray& bytes)
{
    // Titles are UTF-8; invalid bytes become replacement characters, never a crash.
    const QString line = QString::fromUtf8(bytes).trimmed();
    if (line.isEmpty())
        return;
    m_changed = true;
    if (line.startsWith(kProgressMark) && takeProgress(line.mid(kProgressMark.size())))
        return;
    const QRegularExpressionMatch item = itemPattern().match(line);
    if (item.hasMatch()) {
        const int number = item.captured(1).toInt();
        const int count = item.captured(2).toInt();
        if (number >= 1 && number <= count) {
            m_item = number;
            m_itemCount = count;
            m_percent = -1;
            m_speed = -1;
            m_eta = -1;
            m_total = -1;
        }
    } else if (line.startsWith(QLatin1String("ERROR: "))) {
        QString error = line.mid(7);
        const qsizetype report = error.indexOf(QLatin1String("; please report this issue"));
        if (report >= 0)
            error.truncate(report);
        const qsizetype cause = error.indexOf(QLatin1String(" (caused by "));
        if (cause >= 0)
            error.truncate(cause);
        m_error = withoutToolName(error.trimmed()).left(500);
    } else if (line.startsWith(QLatin1String("[MoveFiles] Moving file ")) ||
               line.endsWith(QLatin1String("has already been downloaded"))) {
        ++m_finishedFiles;
    }
    showLine(line);
}

bool LinkProgress::takeProgress(const QString& fields)
{
    const QList<QStringView> parts = QStringView(fields).split(u' ');
    if (parts.size() != 5)
        return false;
    const double done = fieldValue(parts.at(0));
    double total = fieldValue(parts.at(1));
    if (total <= 0)
        total = fieldValue(parts.at(2)); // an estimate where the server sent no length
    if (done < 0)
        return false;
    m_total = total > 0 ? static_cast<qint64>(total) : -1;
    m_percent = total > 0 ? std::min(100.0, done * 100.0 / total) : -1;
    m_speed = fieldValue(parts.at(3));
    const double eta = fieldValue(parts.at(4));
    m_eta = eta >= 0 && eta < 1e9 ? static_cast<qint64>(eta) : -1;

    QString shown = QStringLiteral("[download] ");
    shown += m_percent >= 0 ? QString::number(m_percent, 'f', 1) + QStringLiteral("% of ") + sizeText(total)
                            : sizeText(done);
    if (m_speed >= 0)
        shown += QStringLiteral(" at ") + sizeText(m_speed) + QStringLiteral("/s");
    if (m_eta >= 0)
        shown += QStringLiteral(", ") + durationText(m_eta) + QStringLiteral(" left");
    if (m_itemCount > 0)
        shown += QStringLiteral(" (item %1 of %2)").arg(m_item).arg(m_itemCount);
    // Progress replaces the progress line before it instead of filling the block.
    if (m_lastWasProgress && !m_block.isEmpty())
        m_block.removeLast();
    showLine(shown);
    m_lastWasProgress = true;
    return true;
}

void LinkProgress::showLine(const QString& line)
{
    m_lastWasProgress = false;
    m_block << withoutToolName(line).left(MaxLineBytes);
    while (m_block.size() > MaxBlockLines)
        m_block.removeFirst();
}

QString LinkProgress::progressText() const
{
    QStringList parts;
    if (m_percent >= 0)
        parts << QString::number(m_percent, 'f', 1) + QLatin1Char('%');
    if (m_speed >= 0)
        parts << sizeText(m_speed) + QStringLiteral("/s");
    if (m_eta >= 0)
        parts << durationText(m_eta) + QStringLiteral(" left");
    if (m_itemCount > 0)
        parts << QStringLiteral("item %1 of %2").arg(m_item).arg(m_itemCount);
    return parts.join(QStringLiteral(", "));
}

QString LinkProgress::caption() const
{
    const QString progress = progressText();
    return progress.isEmpty() ? QString() : progress + tx(u"..Downloading");
}

QString LinkProgress::statusText() const
{
    return m_block.join(QLatin1Char('\n'));
}

QString LinkProgress::sizeText(double bytes)
{
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    const int decimals = unit == 0 ? 0 : (bytes < 10 ? 2 : 1);
    return QString::number(bytes, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString LinkProgress::durationText(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                                       .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}
