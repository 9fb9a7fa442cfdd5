#include "tools/ConvertCommand.h"

#include "tools/FfmpegProgress.h"

#include <QRegularExpression>

namespace {

bool matches(const QString& text, const char* pattern)
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(QLatin1String(pattern)));
    return expression.match(text).hasMatch();
}

bool isCodecName(const QString& text)
{
    return text.size() <= 64 && matches(text, "[A-Za-z0-9][A-Za-z0-9_.-]*");
}

bool isNumber(const QString& text)
{
    return text.size() <= 12 && matches(text, "[0-9]+");
}

bool isRate(const QString& text)
{
    return text.size() <= 24 && matches(text, "[0-9]+([./][0-9]+)?");
}

QString value(const ConvertRequest& request, ParamList list)
{
    return request.values.at(static_cast<int>(list));
}

// Encoders whose defaults run far slower than real time get a speed that suits a desktop
// converter.
QStringList speedOptions(const QString& encoder)
{
    if (encoder == QLatin1String("libvpx") || encoder == QLatin1String("libvpx-vp9"))
        return {QStringLiteral("-deadline"), QStringLiteral("realtime"), QStringLiteral("-cpu-used"),
                QStringLiteral("8")};
    return {};
}

} // namespace

namespace ConvertCommand {

const std::array<Effect, 15>& effects()
{
    static const std::array<Effect, 15> kEffects{{
        {u"Black and white", "black-white"},
        {u"Cartoon", "cartoon"},
        {u"Chaos", "chaos"},
        {u"Equalize", "equalize"},
        {u"Flying pics", "flying-pics"},
        {u"Funnel", "funnel"},
        {u"Ghost", "ghost"},
        {u"Glow", "glow"},
        {u"Histogram", "histogram"},
        {u"Invert", "invert"},
        {u"Nervous", "nervous"},
        {u"Pixelize", "pixelize"},
        {u"Scan lines", "scan-lines"},
        {u"Sobel", "sobel"},
        {u"Vertigo", "vertigo"},
    }};
    return kEffects;
}

QString videoEncoder(const QString& codec)
{
    if (codec == QLatin1String("x264"))
        return QStringLiteral("libx264");
    if (codec == QLatin1String("xvid"))
        return QStringLiteral("libxvid");
    if (codec == QLatin1String("VP8"))
        return QStringLiteral("libvpx");
    if (codec == QLatin1String("Original"))
        return QStringLiteral("copy");
    return codec;
}

QString audioEncoder(const QString& codec)
{
    if (codec == QLatin1String("aac") || codec == QLatin1String("opencore_amrnb"))
        return QStringLiteral("aac");
    if (codec == QLatin1String("mp3"))
        return QStringLiteral("libmp3lame");
    if (codec == QLatin1String("ogg"))
        return QStringLiteral("libvorbis");
    if (codec == QLatin1String("pcm"))
        return QStringLiteral("pcm_s16le");
    if (codec == QLatin1String("Original"))
        return QStringLiteral("copy");
    return codec;
}

QString scaleFilter(const QString& size)
{
    static const QRegularExpression kSize(QStringLiteral("^([0-9]{1,5})x([0-9]{1,5})$"));
    const QRegularExpressionMatch match = kSize.match(size);
    if (!match.hasMatch() || match.captured(1).toInt() < 2 || match.captured(2).toInt() < 2)
        return {};
    return QStringLiteral("scale=w='min(%1,iw)':h='min(%2,ih)':force_original_aspect_ratio=decrease:"
                          "force_divisible_by=2")
        .arg(match.captured(1), match.captured(2));
}

double rateValue(const QString& text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return text.toDouble();
    const double denominator = text.mid(slash + 1).toDouble();
    return denominator > 0 ? text.left(slash).toDouble() / denominator : 0;
}

int cutLength(const ConvertRequest& request)
{
    return request.cut && request.cutTo > request.cutFrom && request.cutFrom >= 0 ? request.cutTo - request.cutFrom : 0;
}

ToolCommand build(const ConvertRequest& request)
{
    // Progress comes as key=value reports on standard output; the log keeps only errors.
    QStringList arguments = FfmpegProgress::arguments();
    const int length = cutLength(request);
    if (length > 0)
        arguments << QStringLiteral("-t") << QString::number(length) << QStringLiteral("-ss")
                  << QString::number(request.cutFrom);
    arguments << QStringLiteral("-y") << QStringLiteral("-i") << request.source;

    QStringList filters;
    if (request.audioOnly) {
        arguments << QStringLiteral("-vn");
    } else {
        const QString codec = value(request, ParamList::VideoCodec);
        const QString encoder = codec.isEmpty() ? QString() : videoEncoder(codec);
        const bool copy = encoder == QLatin1String("copy");
        if (isCodecName(encoder)) {
            arguments << QStringLiteral("-vcodec") << encoder;
            if (!copy)
                arguments << speedOptions(encoder) << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
        }
        if (!copy) {
            const QString rate = value(request, ParamList::FrameRate);
            // Never above the source's rate; with the rate unknown the source's is kept.
            if (!rate.isEmpty() && rate != QLatin1String("Auto") && isRate(rate) && rateValue(rate) > 0 &&
                request.sourceFrameRate > 0 && rateValue(rate) < request.sourceFrameRate - 0.01)
                arguments << QStringLiteral("-r") << rate;
            const QString size = value(request, ParamList::Resolution);
            if (!size.isEmpty() && size != QLatin1String("Original")) {
                const QString scale = scaleFilter(size);
                if (!scale.isEmpty())
                    filters << scale;
            }
            const QString bitrate = value(request, ParamList::VideoBitrate);
            if (!bitrate.isEmpty() && bitrate != QLatin1String("Auto") && isNumber(bitrate))
                arguments << QStringLiteral("-b:v") << bitrate + QLatin1Char('k');
        }
        if (request.effect >= 0 && request.effect < int(effects().size()) && !copy)
            filters.prepend(QStringLiteral("frei0r=") + QLatin1String(effects().at(request.effect).filter));
    }

    const QString audioCodec = value(request, ParamList::AudioCodec);
    const QString audioEncoderName = audioCodec.isEmpty() ? QString() : audioEncoder(audioCodec);
    if (isCodecName(audioEncoderName))
        arguments << QStringLiteral("-acodec") << audioEncoderName;
    if (audioEncoderName != QLatin1String("copy")) {
        const QString audioBitrate = value(request, ParamList::AudioBitrate);
        if (!audioBitrate.isEmpty() && audioBitrate != QLatin1String("Auto") && isNumber(audioBitrate))
            arguments << QStringLiteral("-b:a") << audioBitrate + QLatin1Char('k');
        const QString sampleRate = value(request, ParamList::SampleRate);
        if (!sampleRate.isEmpty() && sampleRate != QLatin1String("Auto") && isNumber(sampleRate))
            arguments << QStringLiteral("-ar") << sampleRate;
        const QString channels = value(request, ParamList::Channels);
        if (!channels.isEmpty() && channels != QLatin1String("Auto") && isNumber(channels))
            arguments << QStringLiteral("-ac") << channels;
    }
    if (!filters.isEmpty())
        arguments << QStringLiteral("-vf") << filters.join(QLatin1Char(','));
    // The output is named after the options so that no title can pass for one.
    arguments << request.output;
    return {QStringLiteral("ffmpeg"), arguments};
}

} // namespace ConvertCommand
