#include "library/LibraryFormat.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace LibraryFormat {

QString captureTime(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString sizeText(qint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / 1048576.0, 'f', 1) + QStringLiteral(" MB");
}

QString formatOf(const QString& path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 == name.size())
        return QStringLiteral("UNKN");
    return name.sliced(dot + 1).toUpper();
}

QString baseOf(const QString& path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.first(dot);
}

QString durationFromProbe(const QString& ffprobeOutput)
{
    static const QString none = QStringLiteral("n/a");
    if (ffprobeOutput.size() > 65536)
        return none;
    const QJsonDocument document = QJsonDocument::fromJson(ffprobeOutput.toLatin1());
    const QString text =
        document.object().value(QLatin1StringView("format")).toObject().value(QLatin1StringView("duration")).toString();
    // ffprobe prints seconds with six decimals; anything else is no duration.
    static const QRegularExpression seconds(QStringLiteral("^([0-9]{1,12})\\.([0-9]{1,6})$"));
    const QRegularExpressionMatch match = seconds.match(text);
    if (!match.hasMatch())
        return none;
    const qint64 micro =
        match.captured(1).toLongLong() * 1000000 + match.captured(2).leftJustified(6, u'0').toLongLong();
    // Rounded to hundredths the way ffmpeg prints its own "Duration: " line.
    const qint64 centi = (micro + 5000) / 10000;
    const qint64 s = centi / 100;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(centi % 100, 2, 10, QLatin1Char('0'));
}

int durationSeconds(QStringView text)
{
    if (text.size() < 8 || text[2] != QLatin1Char(':') || text[5] != QLatin1Char(':'))
        return -1;
    bool okH = false;
    bool okM = false;
    bool okS = false;
    const int h = text.sliced(0, 2).toInt(&okH);
    const int m = text.sliced(3, 2).toInt(&okM);
    const int s = text.sliced(6, 2).toInt(&okS);
    if (!okH || !okM || !okS)
        return -1;
    return h * 3600 + m * 60 + s;
}

qint64 captureSecondsOfName(const QString& fileName)
{
    const QStringView head = QStringView(fileName).first(qMin<qsizetype>(10, fileName.size()));
    qint64 value = 0;
    for (const QChar c : head) {
        if (!c.isDigit() || c.unicode() > 0x7F)
            break;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isNamedByCaptureTime(const QString& fileName)
{
    const QString base = baseOf(fileName);
    if (base.isEmpty() || base.size() > 10)
        return false;
    for (const QChar c : base) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return base.toLongLong() >= 1000;
}

QDateTime captureTimeOf(const QString& fileName, const QDateTime& fileTime)
{
    return isNamedByCaptureTime(fileName) ? QDateTime::fromSecsSinceEpoch(captureSecondsOfName(fileName)) : fileTime;
}

bool isAudioPath(const QString& path)
{
    static const QStringList audio = {
        QStringLiteral(".MP2"), QStringLiteral(".MP3"), QStringLiteral(".M4A"),  QStringLiteral(".M4R"),
        QStringLiteral(".AAC"), QStringLiteral(".AC3"), QStringLiteral(".AIFF"), QStringLiteral(".FLAC"),
        QStringLiteral(".OGG"), QStringLiteral(".WAV"), QStringLiteral(".WMA"),  QStringLiteral(".MID"),
    };
    const QString upper = path.toUpper();
    for (const QString& ext : audio) {
        if (upper.endsWith(ext))
            return true;
    }
    return false;
}

const QStringList& importExtensions()
{
    static const QStringList extensions = {
        QStringLiteral("FLV"),  QStringLiteral("MP4"), QStringLiteral("WEBM"), QStringLiteral("M4V"),
        QStringLiteral("MOV"),  QStringLiteral("OGV"), QStringLiteral("MPG"),  QStringLiteral("MKV"),
        QStringLiteral("WMV"),  QStringLiteral("3GP"), QStringLiteral("AVI"),  QStringLiteral("VOB"),
        QStringLiteral("M2TS"), QStringLiteral("ASF"), QStringLiteral("SWF"),  QStringLiteral("3G2"),
        QStringLiteral("MP2"),  QStringLiteral("MP3"), QStringLiteral("M4A"),  QStringLiteral("M4R"),
        QStringLiteral("AAC"),  QStringLiteral("AC3"), QStringLiteral("AIFF"), QStringLiteral("FLAC"),
        QStringLiteral("OGG"),  QStringLiteral("WAV"), QStringLiteral("WMA"),  QStringLiteral("MID"),
    };
    return extensions;
}

bool isImportable(const QString& path)
{
    return importExtensions().contains(QFileInfo(path).suffix().toUpper());
}

QString openFileFilter()
{
    static const char* const order[] = {"FLV",  "MP4",  "WEBM", "M4V", "MOV", "OGV", "MPG", "MKV", "WMV", "3GP",
                                        "AVI",  "VOB",  "M2TS", "ASF", "SWF", "3G2", "MP2", "MP3", "AAC", "AC3",
                                        "AIFF", "FLAC", "WMA",  "MID", "OGG", "M4A", "M4R", "WAV"};
    QStringList patterns;
    for (const char* ext : order)
        patterns << QStringLiteral("*.") + QLatin1String(ext);
    return QStringLiteral("Video & Audio (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

} // namespace LibraryFormat
