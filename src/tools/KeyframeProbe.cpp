#include "tools/KeyframeProbe.h"

#include <QStringView>

#include <algorithm>
#include <optional>

namespace {

// Margin read past the chosen start, so that a keyframe exactly at the start is always seen.
constexpr qint64 ReadMarginMs = 1000;
// ffprobe prints times with six decimals; more digits than this are no time of a media file.
constexpr int MaxWholeDigits = 10;
constexpr int MaxFractionDigits = 9;

// A decimal time text ("10.000000", "-0.023220") in microseconds, exactly; nullopt for "N/A"
// and anything else that is not a plain decimal number.
std::optional<qint64> microseconds(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && text.at(i) == u'-') {
        negative = true;
        ++i;
    }
    qint64 whole = 0;
    int wholeDigits = 0;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i) {
        if (++wholeDigits > MaxWholeDigits)
            return std::nullopt;
        whole = whole * 10 + (text.at(i).unicode() - u'0');
    }
    if (wholeDigits == 0)
        return std::nullopt;
    qint64 fraction = 0;
    if (i < text.size() && text.at(i) == u'.') {
        ++i;
        int digits = 0;
        for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i) {
            if (++digits > MaxFractionDigits)
                return std::nullopt;
            if (digits <= 6)
                fraction = fraction * 10 + (text.at(i).unicode() - u'0');
        }
        if (digits == 0)
            return std::nullopt;
        for (; digits < 6; ++digits)
            fraction *= 10;
    }
    if (i != text.size())
        return std::nullopt;
    const qint64 value = whole * 1000000 + fraction;
    return negative ? -value : value;
}

// The value of key in the fields of one compact line ("frame|key=value|...").
std::optional<QStringView> field(const QList<QStringView>& fields, QLatin1String key)
{
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QStringView item = fields.at(i);
        if (item.size() > key.size() && item.startsWith(key) && item.at(key.size()) == u'=')
            return item.mid(key.size() + 1);
    }
    return std::nullopt;
}

} // namespace

ToolCommand KeyframeProbe::command(const QString& path, qint64 untilMs)
{
    QStringList arguments{QStringLiteral("-v"),
                          QStringLiteral("error"),
                          QStringLiteral("-select_streams"),
                          QStringLiteral("V:0"),
                          QStringLiteral("-skip_frame"),
                          QStringLiteral("nokey"),
                          QStringLiteral("-show_entries"),
                          QStringLiteral("frame=best_effort_timestamp_time:stream=codec_type:"
                                         "format=start_time,duration"),
                          QStringLiteral("-of"),
                          QStringLiteral("compact=p=1:nk=0")};
    if (untilMs >= 0) {
        // Whole seconds past the start and its margin, counted from the first packet.
        arguments << QStringLiteral("-read_intervals")
                  << QStringLiteral("%+") + QString::number((untilMs + ReadMarginMs) / 1000 + 1);
    }
    arguments << QStringLiteral("-i") << path;
    return {QStringLiteral("ffprobe"), arguments};
}

KeyframeProbe KeyframeProbe::parse(const QString& ffprobeOutput)
{
    KeyframeProbe result;
    result.status = Status::Read;
    QStringView text(ffprobeOutput);
    if (text.size() > MaxOutputSize) {
        text = text.left(MaxOutputSize);
        result.truncated = true;
    }
    QList<qint64> frames;
    std::optional<qint64> startUs;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0)
            end = text.size();
        QStringView line = text.mid(at, end - at);
        at = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.size() > MaxLineSize)
            continue;
        const QList<QStringView> fields = line.split(u'|');
        const QStringView section = fields.first();
        if (section == u"frame") {
            if (frames.size() >= MaxKeyframes) {
                result.truncated = true;
                continue;
            }
            if (const auto time = field(fields, QLatin1String("best_effort_timestamp_time")))
                if (const auto us = microseconds(*time))
                    frames << *us;
        } else if (section == u"stream") {
            if (field(fields, QLatin1String("codec_type")) == QStringView(u"video"))
                result.hasVideo = true;
        } else if (section == u"format") {
            result.readable = true;
            if (const auto start = field(fields, QLatin1String("start_time")))
                startUs = microseconds(*start);
            if (const auto duration = field(fields, QLatin1String("duration")))
                if (const auto us = microseconds(*duration); us && *us >= 0)
                    result.durationMs = *us / 1000;
        }
    }
    const qint64 offset = startUs.value_or(0);
    for (qint64& frame : frames)
        frame -= offset;
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    result.keyframesUs = frames;
    return result;
}

KeyframeProbe KeyframeProbe::probe(const QString& path, qint64 untilMs, ToolRunner::RunFlag* runFlag)
{
    KeyframeProbe failed;
    if (runFlag && !runFlag->load()) {
        failed.status = Status::Stopped;
        return failed;
    }
    // The bound holds while ffprobe prints: a report past it is never collected whole.
    const ToolRunner::ToolResult run =
        ToolRunner::runToolResult(command(path, untilMs), runFlag, MaxOutputSize, TimeLimitMs);
    switch (run.code) {
    case ToolRunner::ToolResult::Code::Finished:
        if (run.exitCode == 0)
            return parse(run.output);
        break;
    case ToolRunner::ToolResult::Code::Stopped:
        // Ended by this job's flag; anything else that ended ffprobe counts as a failure.
        if (runFlag && !runFlag->load())
            failed.status = Status::Stopped;
        break;
    case ToolRunner::ToolResult::Code::TooLong:
        failed.status = Status::TooLong;
        break;
    case ToolRunner::ToolResult::Code::Crashed:
    case ToolRunner::ToolResult::Code::NotStarted:
    case ToolRunner::ToolResult::Code::TimedOut:
        break;
    }
    return failed;
}

QString KeyframeProbe::failureText() const
{
    switch (status) {
    case Status::Read:
        break;
    case Status::Failed:
        return QStringLiteral("ffprobe cannot read the file");
    case Status::Stopped:
        return QStringLiteral("the probe was stopped");
    case Status::TooLong:
        return QStringLiteral("ffprobe's report on the file is longer than %1 MiB; it was stopped there")
            .arg(MaxOutputSize / (1024 * 1024));
    }
    return {};
}

qint64 KeyframeProbe::cutStartMs(qint64 startMs) const
{
    if (!hasVideo || startMs <= 0)
        return qMax<qint64>(0, startMs);
    const qint64 startUs = startMs * 1000;
    const auto after = std::upper_bound(keyframesUs.cbegin(), keyframesUs.cend(), startUs);
    if (after == keyframesUs.cbegin())
        return 0;
    const qint64 keyframeUs = qMax<qint64>(0, *(after - 1));
    return (keyframeUs + 999) / 1000;
}
