#include "capture/ByteView.h"

bool ByteView::u8(qsizetype at, quint8& out) const
{
    if (!has(at, 1))
        return false;
    out = m_data[at];
    return true;
}

bool ByteView::be16(qsizetype at, quint16& out) const
{
    if (!has(at, 2))
        return false;
    out = quint16((quint16(m_data[at]) << 8) | m_data[at + 1]);
    return true;
}

bool ByteView::be32(qsizetype at, quint32& out) const
{
    if (!has(at, 4))
        return false;
    out = (quint32(m_data[at]) << 24) | (quint32(m_data[at + 1]) << 16) | (quint32(m_data[at + 2]) << 8) |
          quint32(m_data[at + 3]);
    return true;
}

bool ByteView::matchesAt(qsizetype at, std::string_view pattern) const
{
    const auto count = qsizetype(pattern.size());
    return has(at, count) && std::memcmp(m_data + at, pattern.data(), pattern.size()) == 0;
}

bool ByteView::matchesAtNoCase(qsizetype at, std::string_view lowerPattern) const
{
    const auto count = qsizetype(lowerPattern.size());
    if (!has(at, count))
        return false;
    for (qsizetype j = 0; j < count; ++j) {
        if (lower(m_data[at + j]) != quint8(lowerPattern[size_t(j)]))
            return false;
    }
    return true;
}

qsizetype ByteView::findByte(quint8 byte, qsizetype from) const
{
    if (from < 0)
        from = 0;
    if (from >= m_size)
        return -1;
    const void* hit = std::memchr(m_data + from, byte, size_t(m_size - from));
    return hit ? qsizetype(static_cast<const quint8*>(hit) - m_data) : -1;
}

qsizetype ByteView::findAnyOf(quint8 a, quint8 b, qsizetype from) const
{
    if (from < 0)
        from = 0;
    // Sixteen bytes at a time with the compiler's portable vectors (SSE2 on x86-64, NEON on
    // ARM): only a block that holds one of the bytes is then read byte by byte.
    using Block = quint8 __attribute__((vector_size(16)));
    qsizetype at = from;
    for (; at + 16 <= m_size; at += 16) {
        Block block;
        std::memcpy(&block, m_data + at, sizeof block);
        const auto hits = (block == a) | (block == b);
        quint64 lanes[2];
        std::memcpy(lanes, &hits, sizeof lanes);
        if (lanes[0] | lanes[1])
            break;
    }
    for (; at < m_size; ++at) {
        if (m_data[at] == a || m_data[at] == b)
            return at;
    }
    return -1;
}

qsizetype ByteView::find(std::string_view pattern, qsizetype from) const
{
    if (pattern.empty())
        return has(from, 0) ? from : -1;
    const auto first = quint8(pattern.front());
    for (qsizetype at = findByte(first, from); at >= 0; at = findByte(first, at + 1)) {
        if (matchesAt(at, pattern))
            return at;
        if (!has(at, qsizetype(pattern.size())))
            return -1;
    }
    return -1;
}

qsizetype ByteView::findNoCase(std::string_view lowerPattern, qsizetype from) const
{
    if (lowerPattern.empty())
        return has(from, 0) ? from : -1;
    const auto first = quint8(lowerPattern.front());
    const quint8 upper = (first >= 'a' && first <= 'z') ? quint8(first - ('a' - 'A')) : first;
    qsizetype nextLower = findByte(first, from);
    qsizetype nextUpper = upper == first ? -1 : findByte(upper, from);
    while (nextLower >= 0 || nextUpper >= 0) {
        const bool takeLower = nextUpper < 0 || (nextLower >= 0 && nextLower < nextUpper);
        const qsizetype at = takeLower ? nextLower : nextUpper;
        if (!has(at, qsizetype(lowerPattern.size())))
            return -1;
        if (matchesAtNoCase(at, lowerPattern))
            return at;
        if (takeLower)
            nextLower = findByte(first, at + 1);
        else
            nextUpper = findByte(upper, at + 1);
    }
    return -1;
}
