#pragma once

#include "streams/StreamError.h"

#include <QByteArray>
#include <QList>

#include <optional>

// An HLS attribute list (RFC 8216 4.2): NAME=VALUE pairs separated by commas, no white space,
// names of A-Z, 0-9 and "-", each name once, values quoted (no quote, CR or LF inside) or bare
// (no comma, quote or white space). At most StreamLimits::MaxAttributes pairs, each value at
// most StreamLimits::MaxAttributeValueLength bytes.
class AttributeList final
{
public:
    static StreamResult<AttributeList> parse(QByteArrayView text);

    bool has(QByteArrayView name) const { return find(name) != nullptr; }

    // Each typed reader gives none when the attribute is missing or is not of its type.
    std::optional<QByteArray> quotedString(QByteArrayView name) const;
    std::optional<QByteArray> enumerated(QByteArrayView name) const;
    std::optional<qint64> decimalInteger(QByteArrayView name) const;
    std::optional<double> decimalFloat(QByteArrayView name) const;
    // "1920x1080".
    std::optional<std::pair<int, int>> resolution(QByteArrayView name) const;
    // "0x" and 1 to 32 hex digits, as 16 bytes (shorter values padded on the left).
    std::optional<QByteArray> hex128(QByteArrayView name) const;

private:
    struct Entry
    {
        QByteArray name;
        QByteArray value;
        bool quoted = false;
    };

    const Entry* find(QByteArrayView name) const;

    QList<Entry> m_entries;
};
