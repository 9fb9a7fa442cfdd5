#include "tools/FfmpegProgress.h"

#include <QList>

namespace {

const char kPeakKey[] = "lavfi.astats.Overall.Peak_level";

// Non-negative decimal integer of the whole text; -1 when it is not one or does not fit.
qint64 wholeNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// The keys of a report block; a line starting with one of them is no log line.
bool isProgressKey(QStringView key)
{
    static const char* const kKeys[] = {"frame",      "fps",         "stream_0_0_q", "bitrate",
                                        "total_size", "out_time_us", "out_time_ms",  "out_time",
                                        "dup_frames", "drop_frames", "speed",        "progress"};
    for (const char* known : kKeys) {
        if (key == QLatin1String(known))
            return true;
    }
    return key.startsWith(QLatin1String("stream_")) && key.endsWith(QLatin1String("_q"));
}

} // namespace

QStringList FfmpegProgress::arguments()
{
    return {QStringLiteral("-nostdin"),  QStringLiteral("-hide_banner"), QStringLiteral("-nostats"),
            QStringLiteral("-loglevel"), QStringLiteral("error"),        QStringLiteral("-progress"),
            QStringLiteral("pipe:1")};
}

QString FfmpegProgress::levelFilter()
{
    // "direct" writes each line as it comes, in between the reports; without it the lines
    // would wait in a buffer until the end.
    return QStringLiteral("asetnsamples=n=4800:p=0,astats=metadata=1:reset=1:measure_perchannel=none:"
                          "measure_overall=Peak_level,ametadata=mode=print:key=") +
           QLatin1String(kPeakKey) + QStringLiteral(":file=/dev/stdout:direct=1");
}

qint64 FfmpegProgress::parseClock(QStringView text)
{
    // HH:MM:SS.ffffff (hours may have more digits; a leading "-" is ffmpeg's "not yet").
    const qsizetype first = text.indexOf(u':');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u':', first + 1);
    if (first <= 0 || second != first + 3)
        return -1;
    const qint64 hours = wholeNumber(text.left(first));
    const qint64 minutes = wholeNumber(text.mid(first + 1, 2));
    QStringView rest = text.mid(second + 1);
    const qsizetype dot = rest.indexOf(u'.');
    const qint64 seconds = wholeNumber(dot < 0 ? rest : rest.left(dot));
    qint64 micro = 0;
    if (dot >= 0) {
        QStringView fraction = rest.mid(dot + 1).left(6);
        const qint64 digits = wholeNumber(fraction);
        if (digits < 0)
            return -1;
        micro = digits;
        for (qsizetype i = fraction.size(); i < 6; ++i)
            micro *= 10;
    }
    if (hours < 0 || hours > 1000000 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        return -1;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000000 + micro;
}

void FfmpegProgress::feed(QStringView chunk)
{
    while (!chunk.isEmpty()) {
        const qsizetype end = chunk.indexOf(u'\n');
        const QStringView piece = end < 0 ? chunk : chunk.left(end);
        if (!m_overlong) {
            if (m_partial.size() + piece.size() > MaxLineLength) {
                // A line this long is nothing ffmpeg reports; it is dropped whole.
                m_overlong = true;
                m_partial.clear();
            } else {
                m_partial += piece;
            }
        }
        if (end < 0)
            return;
        if (!m_overlong)
            line(m_partial);
        m_partial.clear();
        m_overlong = false;
        chunk = chunk.mid(end + 1);
    }
}

void FfmpegProgress::finish()
{
    if (!m_overlong && !m_partial.isEmpty())
        line(m_partial);
    m_partial.clear();
    m_overlong = false;
}

void FfmpegProgress::line(QStringView text)
{
    // ffmpeg's log also ends lines in "\r".
    for (QStringView piece : text.split(u'\r', Qt::SkipEmptyParts)) {
        piece = piece.trimmed();
        if (piece.isEmpty())
            continue;
        const qsizetype equals = piece.indexOf(u'=');
        const QStringView key = equals > 0 ? piece.left(equals) : QStringView();
        if (key == QLatin1String(kPeakKey)) {
            const QStringView value = piece.mid(equals + 1);
            bool ok = false;
            const double db = value.toDouble(&ok);
            if (value == QLatin1String("-inf") || (ok && db < -1000)) {
                m_peakDb = -1000;
                ++m_levels;
            } else if (ok && db <= 0) {
                m_peakDb = db;
                ++m_levels;
            }
            continue;
        }
        // The frame line before each measurement ("frame:12   pts:57600   pts_time:1.2").
        if (piece.startsWith(QLatin1String("frame:")) && piece.contains(QLatin1String("pts_time:")))
            continue;
        if (!isProgressKey(key)) {
            m_lastLog = piece.left(MaxErrorLength).toString();
            continue;
        }
        const QStringView value = piece.mid(equals + 1);
        if (key == QLatin1String("out_time_us")) {
            const qint64 us = wholeNumber(value);
            if (us >= 0)
                m_positionUs = us;
        } else if (key == QLatin1String("out_time") && m_positionUs < 0) {
            const qint64 us = parseClock(value);
            if (us >= 0)
                m_positionUs = us;
        } else if (key == QLatin1String("progress")) {
            ++m_reports;
            if (value == QLatin1String("end"))
                m_ended = true;
        }
    }
}

int FfmpegProgress::percent(int totalSeconds) const
{
    if (totalSeconds <= 0 || m_positionUs < 0)
        return -1;
    const qint64 totalUs = qint64(totalSeconds) * 1000000;
    if (m_positionUs > totalUs)
        return -1;
    return static_cast<int>(m_positionUs * 100 / totalUs);
}
