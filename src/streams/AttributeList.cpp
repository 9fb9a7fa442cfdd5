#include "streams/AttributeList.h"

#include "streams/StreamLimits.h"
#include "streams/TextNumbers.h"

namespace {

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

StreamError malformed(const char* what)
{
    return streamError(StreamError::Code::Malformed, QStringLiteral("attribute list: %1").arg(QLatin1String(what)));
}

} // namespace

StreamResult<AttributeList> AttributeList::parse(QByteArrayView text)
{
    AttributeList list;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype nameStart = at;
        while (at < text.size() && isNameChar(text[at]))
            ++at;
        if (at == nameStart || at >= text.size() || text[at] != '=')
            return malformed("a name must be A-Z, 0-9 or \"-\" followed by \"=\"");
        Entry entry;
        entry.name = text.sliced(nameStart, at - nameStart).toByteArray();
        ++at;
        const qsizetype valueStart = at;
        if (at < text.size() && text[at] == '"') {
            entry.quoted = true;
            const qsizetype close = text.indexOf('"', at + 1);
            if (close < 0)
                return malformed("a quoted string is not closed");
            entry.value = text.sliced(at + 1, close - at - 1).toByteArray();
            if (entry.value.contains('\r') || entry.value.contains('\n'))
                return malformed("a quoted string holds a line break");
            at = close + 1;
        } else {
            while (at < text.size() && text[at] != ',') {
                const char c = text[at];
                if (c == '"' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
                    return malformed("a bare value holds a quote or white space");
                ++at;
            }
            if (at == valueStart)
                return malformed("a value is empty");
            entry.value = text.sliced(valueStart, at - valueStart).toByteArray();
        }
        if (entry.value.size() > StreamLimits::MaxAttributeValueLength)
            return streamError(StreamError::Code::TooLong, QStringLiteral("attribute %1 is longer than %2 bytes")
                                                               .arg(QString::fromLatin1(entry.name))
                                                               .arg(StreamLimits::MaxAttributeValueLength));
        if (list.find(entry.name))
            return malformed("a name appears twice");
        if (list.m_entries.size() >= StreamLimits::MaxAttributes)
            return streamError(StreamError::Code::TooLong,
                               QStringLiteral("more than %1 attributes").arg(StreamLimits::MaxAttributes));
        list.m_entries.append(std::move(entry));
        if (at < text.size()) {
            if (text[at] != ',')
                return malformed("attributes must be separated by a comma");
            ++at;
            if (at == text.size())
                return malformed("the list ends with a comma");
        }
    }
    return list;
}

const AttributeList::Entry* AttributeList::find(QByteArrayView name) const
{
    for (const Entry& entry : m_entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

std::optional<QByteArray> AttributeList::quotedString(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || !entry->quoted)
        return std::nullopt;
    return entry->value;
}

std::optional<QByteArray> AttributeList::enumerated(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || entry->quoted)
        return std::nullopt;
    return entry->value;
}

std::optional<qint64> AttributeList::decimalInteger(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || entry->quoted)
        return std::nullopt;
    return TextNumbers::decimalInteger(entry->value);
}

std::optional<double> AttributeList::decimalFloat(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || entry->quoted)
        return std::nullopt;
    return TextNumbers::decimalFloat(entry->value);
}

std::optional<std::pair<int, int>> AttributeList::resolution(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || entry->quoted)
        return std::nullopt;
    const qsizetype x = entry->value.indexOf('x');
    if (x < 0)
        return std::nullopt;
    const QByteArrayView value(entry->value);
    const std::optional<qint64> width = TextNumbers::decimalInteger(value.first(x));
    const std::optional<qint64> height = TextNumbers::decimalInteger(value.sliced(x + 1));
    // Past 100000 pixels a side is no picture a player shows.
    if (!width || !height || *width > 100000 || *height > 100000)
        return std::nullopt;
    return std::pair<int, int>(int(*width), int(*height));
}

std::optional<QByteArray> AttributeList::hex128(QByteArrayView name) const
{
    const Entry* entry = find(name);
    if (!entry || entry->quoted)
        return std::nullopt;
    const QByteArray& value = entry->value;
    if (value.size() < 3 || value.size() > 34 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X'))
        return std::nullopt;
    QByteArray digits = value.mid(2);
    for (const char c : digits) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return std::nullopt;
    }
    digits.prepend(QByteArray(32 - digits.size(), '0'));
    return QByteArray::fromHex(digits);
}
