#include "tools/StreamInfo.h"

#include "base/Texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <cmath>

namespace {

// The stream's values by their exact JSON names; ffprobe's JSON escapes every text, so a tag
// value cannot pass for a key (its plain key=value output does not: a title holding a line
// break and "duration=999" read as the stream's duration).
struct Key
{
    QLatin1StringView name;
    QString StreamInfo::*value;
};

const Key kKeys[] = {
    {QLatin1StringView("index"), &StreamInfo::index},
    {QLatin1StringView("duration"), &StreamInfo::duration},
    {QLatin1StringView("codec_name"), &StreamInfo::codecName},
    {QLatin1StringView("codec_long_name"), &StreamInfo::codecLongName},
    {QLatin1StringView("profile"), &StreamInfo::profile},
    {QLatin1StringView("codec_type"), &StreamInfo::codecType},
    {QLatin1StringView("width"), &StreamInfo::width},
    {QLatin1StringView("height"), &StreamInfo::height},
    {QLatin1StringView("display_aspect_ratio"), &StreamInfo::displayAspectRatio},
    {QLatin1StringView("pix_fmt"), &StreamInfo::pixelFormat},
    {QLatin1StringView("r_frame_rate"), &StreamInfo::realFrameRate},
    {QLatin1StringView("avg_frame_rate"), &StreamInfo::averageFrameRate},
    {QLatin1StringView("bit_rate"), &StreamInfo::bitRate},
    {QLatin1StringView("sample_rate"), &StreamInfo::sampleRate},
    {QLatin1StringView("channels"), &StreamInfo::channels},
    {QLatin1StringView("channel_layout"), &StreamInfo::channelLayout},
};

const Key kTagKeys[] = {
    {QLatin1StringView("creation_time"), &StreamInfo::creationTime},
    {QLatin1StringView("language"), &StreamInfo::language},
};

// Texts as they are; numbers (ffprobe writes counts and sizes as JSON numbers) in their
// shortest form. Anything else is no value.
QString textOf(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (!value.isDouble())
        return {};
    const double number = value.toDouble();
    if (std::trunc(number) == number && std::fabs(number) < 9007199254740992.0)
        return QString::number(static_cast<qint64>(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

StreamInfo fromJson(const QJsonObject& stream)
{
    StreamInfo values;
    for (const Key& key : kKeys)
        values.*key.value = textOf(stream.value(key.name));
    const QJsonObject tags = stream.value(QLatin1StringView("tags")).toObject();
    for (const Key& key : kTagKeys)
        values.*key.value = textOf(tags.value(key.name));
    return values;
}

void addRow(QStringList& rows, QStringView label, const QString& value)
{
    if (!value.isEmpty())
        rows << tx(label) + value;
}

} // namespace

ToolCommand StreamInfo::command(const QString& path)
{
    // Quiet, so that nothing but the JSON reaches the merged output.
    return {QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-of"), QStringLiteral("json"),
             QStringLiteral("-show_streams"), QStringLiteral("-i"), path}};
}

QString StreamInfo::rootText(const QString& title, const QString& format)
{
    const QString extension = format.toLower();
    const QString name = extension.isEmpty() ? title : title + u'.' + extension;
    return tx(u"Media Analyzer") + QStringLiteral(": ") + name;
}

QStringList StreamInfo::rows() const
{
    const QString shownProfile = profile == QLatin1String("unknown") ? QString() : profile;
    const QString shownLanguage = language == QLatin1String("und") ? QString() : language;
    QStringList result;
    if (codecType == QLatin1String("video")) {
        addRow(result, u"Duration, sec", duration);
        addRow(result, u"Codec name: ", codecName);
        addRow(result, u"Codec full name: ", codecLongName);
        addRow(result, u"Codec profile: ", shownProfile);
        addRow(result, u"Width: ", width);
        addRow(result, u"Height: ", height);
        addRow(result, u"Pixel format: ", pixelFormat);
        addRow(result, u"Frame rate, fps: ", realFrameRate);
        addRow(result, u"Bitrate, bps: ", bitRate);
        addRow(result, u"Creation time: ", creationTime);
        addRow(result, u"Language: ", shownLanguage);
    } else if (codecType == QLatin1String("audio")) {
        addRow(result, u"Duration, sec", duration);
        addRow(result, u"Codec name: ", codecName);
        addRow(result, u"Codec full name: ", codecLongName);
        addRow(result, u"Codec profile: ", shownProfile);
        addRow(result, u"Sample rate, Hz: ", sampleRate);
        addRow(result, u"Bitrate, bps: ", bitRate);
        addRow(result, u"Channels: ", channels);
        addRow(result, u"Creation time: ", creationTime);
        addRow(result, u"Language: ", shownLanguage);
    }
    return result;
}

QList<StreamInfo::Shown> StreamInfo::parse(const QString& ffprobeOutput)
{
    QList<Shown> shown;
    if (ffprobeOutput.size() > MaxOutputSize)
        return shown;
    // The runner widens each output byte to one character; the JSON itself is UTF-8.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(ffprobeOutput.toLatin1(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return shown;
    const QJsonArray streams = document.object().value(QLatin1StringView("streams")).toArray();
    for (const QJsonValue& stream : streams) {
        if (shown.size() >= MaxStreams)
            break;
        if (!stream.isObject())
            continue;
        const StreamInfo values = fromJson(stream.toObject());
        QString kind;
        if (values.codecType == QLatin1String("video"))
            kind = tx(u" (video stream)");
        else if (values.codecType == QLatin1String("audio"))
            kind = tx(u" (audio stream)");
        else
            continue;
        shown.append({tx(u"Stream #") + values.index + kind, values.rows()});
    }
    return shown;
}
