#include "download/PageTitle.h"

#include "base/Texts.h"

#include <QList>
#include <QStringDecoder>

#include <array>
#include <utility>

namespace {

// Replaced one after the other, each a plain replace-all, so "&amp;quot;" becomes "&quot;"
// and stays so: "&amp;" comes after "&quot;". No other entity is decoded.
constexpr std::array<std::pair<const char16_t*, const char16_t*>, 37> Entities{{
    {u"&#39;", u"'"},    {u"&ndash;", u"-"}, {u"&mdash;", u"-"},   {u"&quot;", u"\""},  {u"&ldquo;", u"\""},
    {u"&rdquo;", u"\""}, {u"&lsquo;", u"'"}, {u"&rsquo;", u"'"},   {u"&laquo;", u"\""}, {u"&raquo;", u"\""},
    {u"&nbsp;", u" "},   {u"&amp;", u"&"},   {u"&cent;", u"cent"}, {u"&copy;", u"©"},   {u"&divide;", u"/"},
    {u"&gt;", u">"},     {u"&lt;", u"<"},    {u"&micro;", u""},    {u"&middot;", u""},  {u"&para;", u""},
    {u"&plusmn;", u""},  {u"&sbquo;", u"'"}, {u"&bdquo;", u"\""},  {u"&fnof;", u""},    {u"&circ;", u"^"},
    {u"&tilde;", u"~"},  {u"&bull;", u""},   {u"&prime;", u"'"},   {u"&Prime;", u"\""}, {u"&lsaquo;", u"<"},
    {u"&rsaquo;", u">"}, {u"&oline;", u"-"}, {u"&euro;", u"€"},    {u"&pound;", u""},   {u"&reg;", u"®"},
    {u"&sect;", u"§"},   {u"&trade;", u"™"},
}};

constexpr qsizetype LongestTitle = 70;

// The page bytes are widened one to one; a title made only of such characters goes back to
// its bytes and is read as UTF-8, falling back to the bytes as Latin-1 when they are not
// UTF-8 (an old single-byte page). Characters above 0xFF came from the entity table.
QString restoreUtf8(const QString& text)
{
    QString result;
    QByteArray run;
    auto flush = [&result, &run] {
        if (run.isEmpty())
            return;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(run);
        result += decoder.hasError() ? QString::fromLatin1(run) : decoded;
        run.clear();
    };
    for (const QChar c : text) {
        if (c.unicode() <= 0xff) {
            run.append(char(c.unicode()));
        } else {
            flush();
            result += c;
        }
    }
    flush();
    return result;
}

} // namespace

QString pageTitle(const QString& html)
{
    QString title = tx(u"Unnamed media file");
    const QString lower = html.toLower();
    const qsizetype open = lower.indexOf(QLatin1String("<title>"));
    const qsizetype close = lower.indexOf(QLatin1String("</title>"));
    if (open >= 0 && close >= 0) {
        const qsizetype start = open + 7;
        // UTF-8 first: trimming the widened bytes would cut a trailing 0xA0 out of a letter
        // such as "à", and an entity's "©" must not be read as a UTF-8 byte afterwards.
        title = restoreUtf8(close > start ? html.mid(start, close - start) : QString());
        title = title.trimmed();
        for (int i = 0; i < 10; ++i)
            title.replace(QLatin1String("  "), QLatin1String(" "));
        title.remove(QLatin1Char('\n'));
        title.remove(QLatin1Char('\r'));
        title.remove(QLatin1Char('\t'));
        for (const auto& [entity, replacement] : Entities)
            title.replace(QString::fromUtf16(entity), QString::fromUtf16(replacement));
    }
    // Count characters, not UTF-16 units, so a letter outside the basic plane is never split.
    const QList<uint> characters = title.toUcs4();
    if (characters.size() > LongestTitle)
        title = QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()), LongestTitle) +
                QStringLiteral("...");
    return title;
}
