#include "capture/RequestFields.h"

#include "capture/ByteView.h"

#include <QByteArrayView>

namespace RequestFields {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

ByteView viewOf(const QByteArray& text)
{
    return ByteView(reinterpret_cast<const quint8*>(text.constData()), text.size());
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

QString headerValue(const QByteArray& requestText, std::string_view lowerName)
{
    // The name as asked for ends in ": "; what follows the colon is optional white space.
    std::string_view name = lowerName;
    while (!name.empty() && (name.back() == ' ' || name.back() == ':'))
        name.remove_suffix(1);
    if (name.empty())
        return {};
    const ByteView view = viewOf(requestText);
    // Line by line from the end of the request line to the blank line that ends the head.
    qsizetype line = view.find(kLineEnd);
    while (line >= 0) {
        line += qsizetype(kLineEnd.size());
        const qsizetype end = view.find(kLineEnd, line);
        if (end < 0 || end == line)
            return {};
        const qsizetype colon = line + qsizetype(name.size());
        if (colon < end && requestText.at(colon) == ':' && view.matchesAtNoCase(line, name)) {
            qsizetype from = colon + 1;
            qsizetype to = end;
            while (from < to && isBlank(requestText.at(from)))
                ++from;
            while (to > from && isBlank(requestText.at(to - 1)))
                --to;
            const QByteArrayView value(requestText.constData() + from, to - from);
            // A lone CR or LF (or a NUL) would split the header when the value is sent on.
            if (value.contains('\r') || value.contains('\n') || value.contains('\0'))
                return {};
            return QString::fromLatin1(value);
        }
        line = end;
    }
    return {};
}

QString address(const QByteArray& requestText)
{
    constexpr qsizetype kMethodLength = 4; // "GET "
    QString result = QStringLiteral("http://") + headerValue(requestText, "host: ");
    if (requestText.size() <= kMethodLength)
        return result;
    qsizetype end = kMethodLength;
    // A request target holds no space or control character: the first one ends it.
    while (end < requestText.size() && quint8(requestText.at(end)) > 0x20 && quint8(requestText.at(end)) != 0x7f)
        ++end;
    result += QString::fromLatin1(requestText.constData() + kMethodLength, end - kMethodLength);
    return result;
}

} // namespace RequestFields
