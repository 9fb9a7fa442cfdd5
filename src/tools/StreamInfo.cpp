#include "tools/StreamInfo.h"

#include "base/Texts.h"

#include <QRegularExpression>

namespace {

// The keys in the order they are tried: the first key found in a line takes it. A key counts
// only where a name starts: ffprobe also prints "coded_width=", "max_bit_rate=" and the like,
// which end in a key but are other values ("coded_320" is no width).
struct Key
{
    QLatin1StringView text;
    QString StreamInfo::*value;
};

const Key kKeys[] = {
    {QLatin1StringView("index="), &StreamInfo::index},
    {QLatin1StringView("duration="), &StreamInfo::duration},
    {QLatin1StringView("codec_name="), &StreamInfo::codecName},
    {QLatin1StringView("codec_long_name="), &StreamInfo::codecLongName},
    {QLatin1StringView("profile="), &StreamInfo::profile},
    {QLatin1StringView("codec_type="), &StreamInfo::codecType},
    {QLatin1StringView("width="), &StreamInfo::width},
    {QLatin1StringView("height="), &StreamInfo::height},
    {QLatin1StringView("display_aspect_ratio="), &StreamInfo::displayAspectRatio},
    {QLatin1StringView("pix_fmt="), &StreamInfo::pixelFormat},
    {QLatin1StringView("r_frame_rate="), &StreamInfo::realFrameRate},
    {QLatin1StringView("avg_frame_rate="), &StreamInfo::averageFrameRate},
    {QLatin1StringView("bit_rate="), &StreamInfo::bitRate},
    {QLatin1StringView("sample_rate="), &StreamInfo::sampleRate},
    {QLatin1StringView("channels="), &StreamInfo::channels},
    {QLatin1StringView("channel_layout="), &StreamInfo::channelLayout},
    {QLatin1StringView("TAG:creation_time="), &StreamInfo::creationTime},
    {QLatin1StringView("TAG:language="), &StreamInfo::language},
};

void addRow(QStringList& rows, QStringView label, const QString& value)
{
    if (!value.isEmpty())
        rows << tx(label) + value;
}

} // namespace

ToolCommand StreamInfo::command(const QString& path)
{
    return {QStringLiteral("ffprobe"), {QStringLiteral("-show_streams"), QStringLiteral("-i"), path}};
}

QString StreamInfo::rootText(const QString& title, const QString& format)
{
    const QString extension = format.toLower();
    const QString name = extension.isEmpty() ? title : title + u'.' + extension;
    return tx(u"Media Analyzer") + QStringLiteral(": ") + name;
}

bool StreamInfo::take(const QString& line)
{
    const auto startsAName = [&line](qsizetype at) {
        if (at == 0)
            return true;
        const QChar before = line.at(at - 1);
        return !before.isLetterOrNumber() && before != u'_';
    };
    const auto found = [&](QLatin1StringView key) {
        for (qsizetype at = line.indexOf(key); at >= 0; at = line.indexOf(key, at + 1)) {
            if (startsAName(at))
                return true;
        }
        return false;
    };
    for (const Key& key : kKeys) {
        if (found(key.text)) {
            QString value = line;
            value.remove(key.text);
            this->*key.value = value;
            return true;
        }
    }
    return false;
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
    static const QRegularExpression lineBreaks(QStringLiteral("[\r\n]"));
    QList<Shown> shown;
    StreamInfo values;
    for (const QString& line : ffprobeOutput.split(lineBreaks, Qt::SkipEmptyParts)) {
        if (line == QLatin1String("[STREAM]")) {
            // Each block starts from nothing: a value the block leaves out (a stream without a
            // creation time) must not show the previous stream's value.
            values = StreamInfo();
            continue;
        }
        if (values.take(line))
            continue;
        if (line != QLatin1String("[/STREAM]"))
            continue;
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
