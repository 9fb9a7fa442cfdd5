#include "ui/MovieRequest.h"

namespace MovieRequest {
namespace {

const QString kHead = QStringLiteral("<invoke name=\"");
const QString kMiddle = QStringLiteral("\" returntype=\"xml\"><arguments>");
const QString kTail = QStringLiteral("</arguments></invoke>");

} // namespace

QString build(const QString& callName, const QList<Argument>& values)
{
    QString text = kHead + callName + kMiddle;
    for (const Argument& argument : values) {
        if (argument.kind == Argument::Kind::Number)
            text += QStringLiteral("<number>") + argument.value + QStringLiteral("</number>");
        else
            text += QStringLiteral("<string>") + argument.value + QStringLiteral("</string>");
    }
    return text + kTail;
}

QString playPosition(const QString& current, const QString& total, int percent)
{
    return build(QStringLiteral("CallMeFromApplication"),
                 {string(current), string(total), number(QString::number(percent))});
}

QString playButton(const QString& state)
{
    return build(QStringLiteral("CallMeFromApplicationSetPlayButton"), {string(state)});
}

QString playEndAnimation()
{
    return build(QStringLiteral("CallMeFromApplicationPlayEndAnimation"), {string(QStringLiteral("end"))});
}

QString volume(int volumePercent)
{
    return build(QStringLiteral("CallMeFromApplicationSetVolume"),
                 {string(QString::number(volumePercent) + QLatin1Char('%'))});
}

QString volumeText(const QString& text)
{
    return build(QStringLiteral("CallMeFromApplicationSetVolume"), {string(text)});
}

QString conversionPercent(const QString& percent)
{
    return build(QStringLiteral("CallMeFromApplicationSetPercent"), {string(percent)});
}

QString monitoringEnabled()
{
    return build(QStringLiteral("SetFlashMonitoringEnabled"), {string(QStringLiteral("1"))});
}

QString monitoringDisabled()
{
    return build(QStringLiteral("SetFlashMonitoringDisabled"), {string(QStringLiteral("1"))});
}

QString name(const QString& request)
{
    const qsizetype start = request.indexOf(kHead);
    if (start < 0)
        return {};
    const qsizetype from = start + kHead.size();
    const qsizetype end = request.indexOf(QLatin1Char('"'), from);
    if (end < 0)
        return {};
    return request.mid(from, end - from);
}

QStringList arguments(const QString& request)
{
    // Values are not escaped, so a value is whatever lies between its opening and closing
    // tag; the scan walks the tags in order so that string and number values interleave.
    QStringList values;
    qsizetype position = request.indexOf(QStringLiteral("<arguments>"));
    if (position < 0)
        return values;
    while (true) {
        const qsizetype stringAt = request.indexOf(QStringLiteral("<string>"), position);
        const qsizetype numberAt = request.indexOf(QStringLiteral("<number>"), position);
        if (stringAt < 0 && numberAt < 0)
            break;
        const bool isString = numberAt < 0 || (stringAt >= 0 && stringAt < numberAt);
        const qsizetype open = isString ? stringAt : numberAt;
        const QString closeTag = isString ? QStringLiteral("</string>") : QStringLiteral("</number>");
        const qsizetype valueStart = open + 8;
        const qsizetype close = request.indexOf(closeTag, valueStart);
        if (close < 0)
            break;
        values << request.mid(valueStart, close - valueStart);
        position = close + closeTag.size();
    }
    return values;
}

QString clockText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 hours = (seconds / 3600) % 24;
    const qint64 minutes = (seconds / 60) % 60;
    return QString::asprintf("%d:%02d:%02d", int(hours), int(minutes), int(seconds % 60));
}

} // namespace MovieRequest
