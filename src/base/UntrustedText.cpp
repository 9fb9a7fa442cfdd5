#include "base/UntrustedText.h"

namespace UntrustedText {
namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// Characters that reorder or break what a terminal (or a person) sees without being controls.
bool isLayoutControl(char16_t c)
{
    return c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029 || c == 0x061c;
}

} // namespace

QString forTerminal(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        switch (c) {
        case u'\\':
            out += QLatin1String("\\\\");
            continue;
        case u'\t':
            out += QLatin1String("\\t");
            continue;
        case u'\n':
            out += QLatin1String("\\n");
            continue;
        case u'\r':
            out += QLatin1String("\\r");
            continue;
        default:
            break;
        }
        if (isControl(c))
            out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        else if (isLayoutControl(c))
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        else
            out += character;
    }
    return out;
}

QUrl webPage(const QString& text)
{
    if (text.isEmpty() || text.size() > kMaxWebAddress)
        return {};
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (c == u' ' || c == u'\\' || isControl(c) || isLayoutControl(c))
            return {};
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    // "http://" followed by the authority: a host, no user name or password (even empty ones,
    // which QUrl drops but which hide the host from a reader: "http://bank.example@evil.test/").
    const qsizetype authorityStart = scheme.size() + 3;
    if (text.mid(scheme.size(), 3) != QLatin1String("://"))
        return {};
    qsizetype authorityEnd = text.size();
    for (const QChar end : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = text.indexOf(end, authorityStart);
        if (at >= 0 && at < authorityEnd)
            authorityEnd = at;
    }
    if (text.mid(authorityStart, authorityEnd - authorityStart).contains(QLatin1Char('@')))
        return {};
    if (url.host().isEmpty() || !url.userInfo().isEmpty())
        return {};
    return url;
}

} // namespace UntrustedText
