#include "base/OutputName.h"

#include "base/Texts.h"

#include <QFileInfo>

#include <algorithm>

namespace OutputName {
namespace {

qsizetype utf8Length(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return 1;
    if (u < 0x800)
        return 2;
    // A surrogate pair gives four bytes, two for each half.
    return c.isSurrogate() ? 2 : 3;
}

// Drops whole characters from the end until the UTF-8 form fits the budget.
void fitBytes(QString& name, qsizetype budget)
{
    qsizetype bytes = 0;
    qsizetype keep = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        bytes += utf8Length(name.at(i));
        if (bytes > budget)
            break;
        // Never keep the first half of a pair without its second.
        if (!name.at(i).isHighSurrogate())
            keep = i + 1;
    }
    name.truncate(keep);
}

} // namespace

QString clean(const QString& title, qsizetype reservedBytes)
{
    QString name = title.size() >= 256 ? title.left(255) : title;
    static const QString forbidden = QStringLiteral("\\/|:*?><\"\t");
    name.removeIf([](QChar c) { return forbidden.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f; });
    // A lone surrogate has no UTF-8 form; the file system would get a replacement byte sequence.
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (name.at(i).isSurrogate())
            name[i] = QChar::ReplacementCharacter;
    }
    name = name.trimmed();
    fitBytes(name, std::max<qsizetype>(1, MaxNameBytes - reservedBytes));
    name = name.trimmed();
    if (name.isEmpty())
        return tx(u"Unnamed media file");
    return name;
}

QString numbered(const QString& path, int n)
{
    if (n <= 1)
        return path;
    const QFileInfo info(path);
    const QString extension = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(" (%1)").arg(n) +
           extension;
}

} // namespace OutputName
