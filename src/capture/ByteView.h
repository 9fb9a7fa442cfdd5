#pragma once

#include <QtGlobal>

#include <cstring>
#include <string_view>

// Read-only access to the bytes of one frame. Every read is checked against the frame's end:
// a field or pattern that would extend past it (or start before the frame) does not match.
class ByteView final
{
public:
    ByteView(const quint8* data, qsizetype size)
        : m_data(data)
        , m_size(data ? size : 0)
    {}

    qsizetype size() const { return m_size; }
    const quint8* data() const { return m_data; }

    // True when [at, at + count) lies inside the frame.
    bool has(qsizetype at, qsizetype count) const { return at >= 0 && count >= 0 && at <= m_size - count; }

    bool u8(qsizetype at, quint8& out) const;
    bool be16(qsizetype at, quint16& out) const;
    bool be32(qsizetype at, quint32& out) const;

    // Pattern tests at one offset: exact, or ignoring ASCII case (pattern given in lower case).
    bool matchesAt(qsizetype at, std::string_view pattern) const;
    bool matchesAtNoCase(qsizetype at, std::string_view lowerPattern) const;

    // First offset >= from where the pattern starts, or -1.
    qsizetype find(std::string_view pattern, qsizetype from = 0) const;
    qsizetype findNoCase(std::string_view lowerPattern, qsizetype from = 0) const;

    // First offset >= from holding the byte, or -1.
    qsizetype findByte(quint8 byte, qsizetype from) const;
    // First offset >= from holding either byte, or -1.
    qsizetype findAnyOf(quint8 a, quint8 b, qsizetype from) const;

    static quint8 lower(quint8 c) { return (c >= 'A' && c <= 'Z') ? quint8(c + ('a' - 'A')) : c; }

private:
    const quint8* m_data;
    qsizetype m_size;
};
